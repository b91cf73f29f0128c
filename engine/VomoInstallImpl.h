// The installer engine behind vmi::IVomoInstall. Its operations are spread over several
// source files by area: VomoInstallImpl.cpp (construction, state and simple queries),
// VomoInstallManifest.cpp (reading the manifest file), VomoInstallDownload.cpp (starting and
// polling the manifest download), VomoInstallVerify.cpp (verifying the downloaded cabinet and
// extracting the manifest), VomoInstallInstalled.cpp (the installed state),
// VomoInstallRollback.cpp (refusing a manifest older than one accepted before),
// VomoInstallSessions.cpp (the install, update and hot-fix sessions),
// VomoInstallFirstInstall.cpp (recording a first install),
// VomoInstallOffers.cpp (the offer catalogue and its registry copy),
// VomoInstallSelection.cpp (the component selections: offerable components, available updates,
// collected components, filtered lists), VomoInstallHotFixes.cpp (the hot fixes that apply)
// and VomoInstallUninstall.cpp (the uninstall session).
#pragma once

#include <map>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "api/Url.h"
#include "engine/HotFixRecord.h"
#include "engine/IVomoInstall.h"
#include "offers/OfferRecord.h"
#include "offers/OfferSections.h"

class IAsyncDownload;
class IComponentRegistry;
class ManifestDocument;
class TiXmlElement;

class VomoInstallImpl : public vmi::IVomoInstall {
public:
    // Stores the manifest cabinet's URL; reads no file and starts no thread. The flag is kept
    // for the caller's use and has no effect on the engine.
    VomoInstallImpl(const Url& manifestUrl, int flag);
    ~VomoInstallImpl() override;

    bool GetHotFixes() override;
    uint32_t StartHotFixSession(vmi::HotFixCompletion completion) override;
    uint32_t BeginManifestDownload(const std::string& tag) override;
    uint32_t BeginManifestDownloadFor(const std::string& tag, const std::string& name) override;
    uint32_t PollManifestDownload() override;
    uint32_t LoadManifest() override;
    uint32_t LoadInstalledState() override;
    uint32_t GetCallerInfo(vmi::CallerInfo& info) override;
    uint32_t GetOfferComponents(vmi::ComponentList& components) override;
    uint32_t GetIdList(std::vector<std::string>& ids) override;
    uint32_t GetComponents(vmi::ComponentList& components) override;
    uint32_t CreateUpdateSession(const std::vector<std::string>& ids,
                                 boost::shared_ptr<vmi::IInstallSession>& session) override;
    uint32_t StartInstallSession(const vmi::ComponentList& components,
                                 const std::vector<PluginRecord>& offers,
                                 boost::shared_ptr<vmi::IInstallSession>& session) override;
    uint32_t StartUninstallSession(const vmi::ComponentList& components,
                                   boost::shared_ptr<vmi::IInstallSession>& session) override;
    uint32_t FilterComponentList(const vmi::ComponentPtr& component,
                                 vmi::ComponentList& components) override;
    uint32_t GetBundlePlugins(std::vector<PluginRecord>& plugins) override;
    uint32_t SetPluginCommandLineArgs(const std::string& pluginId,
                                      const std::string& args) override;
    uint32_t GetBundleGroups(std::vector<boost::shared_ptr<vmi::IBundleGroup>>& groups) override;
    uint32_t GetMessages(std::vector<boost::shared_ptr<vmi::IMessage>>& messages) override;
    uint32_t GetWizardPageRules(std::vector<WizardPageRule>& rules) override;
    uint32_t GetWizardLayout(std::vector<WizardPageRule>& rules) override;
    uint32_t GetBannerGroup(const std::string& distributorId,
                            std::vector<std::string>& bannerIds) override;
    uint32_t SetInstallDir(const std::string& dir) override;
    uint32_t GetInstallDir(std::string& dir) override;
    uint32_t SetEventLog(const boost::shared_ptr<vmi::IEventLog>& log) override;
    uint32_t GetEventLog(boost::shared_ptr<vmi::IEventLog>& log) override;
    uint32_t SetCallerTag(const std::string& tag) override;
    uint32_t CompleteUpdate() override;
    uint32_t CommitInstalledState() override;
    uint32_t FindComponentsBySpec(const SpecQuery& query, std::set<std::string>& ids) override;
    uint32_t GetStateFlag(bool& flag) override;
    uint32_t CreateComponentFromManifest(const std::string& id, const std::string& streamId,
                                         vmi::ComponentPtr& component) override;
    uint32_t GetComponent(const std::string& id, vmi::ComponentPtr& component) override;
    uint32_t GetMarketingBundleVersion(std::string& version) override;
    uint32_t GetProviderTexts(int32_t which, std::string& first, std::string& second) override;
    uint32_t GetResource(const std::string& id, ResourceDescriptor& resource) override;
    uint32_t GetResources(std::vector<ResourceDescriptor>& resources) override;
    uint32_t GetInstalledComponents(vmi::ComponentList& components) override;
    uint32_t ExpandInstallGroups(const vmi::ComponentList& components,
                                 std::vector<std::string>& ids) override;
    uint32_t GetOfferableComponents(vmi::ComponentList& components) override;
    uint32_t GetAvailableUpdates(vmi::ComponentList& components) override;
    uint32_t CollectComponents(int32_t which, bool withOffers, bool withInstallGroups,
                               vmi::ComponentList& components) override;
    uint32_t ReadManifestVersion(Version& version) override;
    uint32_t GetManifestVersion(Version& version) override;
    uint32_t GetSetupServerUrl(Url& url) override;
    uint32_t GetPostInstallPage(const std::vector<std::string>& selectedIds,
                                std::string& page) override;
    uint32_t GetCommonStreamId(std::string& streamId) override;
    uint32_t MarkHandledComponents(const vmi::ComponentList& components) override;
    uint32_t OrderComponents(const vmi::ComponentList& selected,
                             vmi::ComponentList& ordered) override;

    // The local manifest file every manifest read opens (a "file" Url). It names only a
    // manifest that was verified and extracted: it stays empty until PollManifestDownload
    // accepted the download, and every reader answers 7 while it is empty. SetManifestPath lets
    // a test, a benchmark or a host that checked a manifest itself point the engine at it; the
    // caller vouches for the file.
    const Url& GetManifestPath() const { return manifestPath_; }
    void SetManifestPath(const Url& path) {
        manifestPath_ = path;
        verifiedManifest_.reset();
    }
    // Where the manifest cabinet is downloaded to (empty before a download starts). The file
    // is removed once the download was checked, whatever the verdict.
    const Url& GetCabinetPath() const { return cabinetPath_; }
    // The tag and the name given to the last manifest download request.
    const std::string& GetDownloadTag() const { return downloadTag_; }
    const std::string& GetDownloadName() const { return downloadName_; }
    // Names the bundles the next manifest load selects without a download (a host or a test
    // with a manifest on disk): the download tag's bundle and the second bundle.
    void SetBundleNames(const std::string& tag, const std::string& name) {
        downloadTag_ = tag;
        downloadName_ = name;
    }

    // Records what the current install session installed, once it has finished with every
    // component installed (state 7), as a setup program leaves a first install
    // (VomoInstallFirstInstall.cpp): each component of the session whose key its installer
    // made, with its latest version as the installed one and `acceptedEulaIds` as the licence
    // texts accepted; the install groups of the catalogue with the members installed; each
    // offer whose installer succeeded as an installed plug-in; the install directory as the
    // product's ("InstallDir" of "Install\Setup"), when one is set; then the installed state of
    // the offer (CommitInstalledState: the bundle group, its texts, members, banners and wizard
    // layout). 6 when the current session is not a finished install session; otherwise 0, or
    // 6 when a write failed (the others are still made).
    uint32_t CompleteInstall(const std::vector<std::string>& acceptedEulaIds);
    // The selected bundle's group as the manifest gave it (an empty id when the bundle names
    // none), and the licence texts it names.
    const BundleGroupRecord& GetSelectedBundleGroup() const { return bundleGroup_; }
    // The banners of the manifest's banner group for `distributorId`, in reference order, as
    // GetBannerGroup (22) names them: the default group's when the distributor has none.
    std::vector<BannerPtr> GetDistributorBanners(const std::string& distributorId) const;

    // The hot fixes GetHotFixes found, in the order they were appended; StartHotFixSession
    // hands them to the hot-fix session.
    const std::vector<HotFixRecord>& GetHotFixList() const { return hotFixes_; }

    // The flags of the selected bundle (false until a bundle sets them).
    bool IsIsolated() const { return isolated_; }
    bool IsAutoUpdateProhibited() const { return autoUpdateProhibited_; }

    // The registry copy of the selected bundle group's texts, below
    // "Install\Setup\BundleGroups\<GroupId>". Saving writes the marketing bundle version and
    // the heading and description in the current user-interface language (the fallback
    // language when none is selected or the texts lack it); false when no group is selected or
    // the key cannot be written. Loading reads them back where the manifest gave none: the
    // marketing bundle version when the engine's is empty, the heading and the description
    // when the group has none, each as a text in the current user-interface language (the
    // fallback language when none is selected); a fresh manifest's texts in all their
    // languages are never replaced by the single-language copy.
    bool SaveBundleGroupInfo();
    void LoadBundleGroupInfo();

private:
    // Whether `session` is there and has reached `finishedState`: what CompleteUpdate and
    // CompleteInstall ask before they record a run (VomoInstallSessions.cpp).
    static bool HasFinished(vmi::IInstallSession* session, uint32_t finishedState);
    // Called by PollManifestDownload once the cabinet is complete: verifies its signature and
    // extracts the manifest to a second unique name, stored in `extracted`. 0, 18 (signature
    // check failed) or 19 (extraction failed, and nothing extracted is left).
    uint32_t VerifyAndExtractManifest(const Url& cabinet, Url& extracted);
    // Called on a verified, extracted manifest, given its root element (null when it does not
    // parse): 18 when it has expired (or its expiry cannot be read) or its version is lower than
    // the highest accepted on this machine (or it has no valid version once one was accepted),
    // otherwise 0, after recording a higher version (VomoInstallRollback.cpp).
    uint32_t CheckManifestFreshness(const TiXmlElement* root);
    // The parsed manifest at the manifest path, for every reader of it: the document parsed
    // when the download was verified, while the path still names the file this engine
    // extracted (only this process writes it, so a second read could not differ), else the
    // file read and parsed afresh. 0, or ManifestDocument's 7 or 14 (`document` then holds the
    // failed load, for its error text); 7 without a manifest path.
    uint32_t ReadManifest(boost::shared_ptr<const ManifestDocument>& document);
    // Loads the manifest GetHotFixes reads: the engine's verified manifest when there is one
    // and it opens, else one downloaded with the tag "dummy" once it was verified. False when
    // there is none or it does not parse.
    bool OpenVerifiedManifest(boost::shared_ptr<const ManifestDocument>& document);

    // The installed-component registry, made on first use.
    IComponentRegistry& Registry();

    // The offer records of the plug-ins a caller kept (StartInstallSession): each one the
    // engine's own record of the selected bundle's plug-in with the same id and package URL,
    // each bundle plug-in once. False when a kept plug-in is not one of the bundle's.
    bool MakeOffers(const std::vector<PluginRecord>& kept, std::vector<OfferRecord>& offers) const;

    // Takes over the offer sections of a manifest that was read completely.
    void TakeOffers(OfferSections& offers);
    // The bundle-group and banner half of LoadInstalledState.
    void LoadInstalledOffers();
    // Rebuilds the bundle groups handed out: the selected bundle's group first, then the
    // groups recorded in the registry.
    void RebuildBundleGroups();

    Url manifestUrl_;
    int flag_;
    Url manifestPath_;
    Url cabinetPath_;
    boost::shared_ptr<IAsyncDownload> manifestDownload_;
    // Set once the complete download was checked; later polls answer the verdict (0, 18 or 19)
    // without checking again.
    bool manifestChecked_ = false;
    bool ownsManifestFile_ = false;  // the manifest path names a file this engine extracted
    // The tree of that file, parsed once when it was verified (null when it does not parse).
    boost::shared_ptr<const ManifestDocument> verifiedManifest_;
    uint32_t manifestVerdict_ = 0;

    vmi::ComponentList offerComponents_;
    std::vector<std::string> idList_;
    vmi::ComponentList components_;
    std::vector<PluginRecord> bundlePlugins_;
    std::vector<boost::shared_ptr<vmi::IBundleGroup>> bundleGroups_;
    std::vector<boost::shared_ptr<vmi::IMessage>> messages_;
    std::vector<WizardPageRule> wizardPageRules_;
    std::map<std::string, std::vector<std::string>> bannerGroups_;
    // The rest of the offer catalogue: the selected bundle's group, the ids its references
    // reached, its flags, the licence texts, the banners of each banner group, and whether a
    // manifest's offer sections were read at all.
    BundleGroupRecord bundleGroup_;
    std::vector<std::string> bundleIdList_;
    bool isolated_ = false;
    bool autoUpdateProhibited_ = false;
    std::vector<boost::shared_ptr<vmi::IEula>> eulas_;
    BannerGroups bannerGroupBanners_;
    bool offersRead_ = false;
    // Bundle groups recorded in the registry, read by LoadInstalledState.
    std::vector<BundleGroupRecord> installedBundleGroups_;

    boost::shared_ptr<vmi::IEventLog> eventLog_;
    std::string installDir_;
    std::string downloadTag_;
    std::string downloadName_;
    std::string callerTag_;
    std::string marketingBundleVersion_;
    std::map<std::string, ResourceDescriptor> resources_;
    Version manifestVersion_;
    bool stateFlag_ = false;
    // The engine's own post-install page, and the flag that keeps it from answering
    // GetPostInstallPage for a selection of several components while set. Filled by the
    // bundle sections of the manifest load: the page is the bundle group's post-install
    // address, the flag the bundle's isolated flag (an isolated bundle's components each
    // lead to their own page).
    std::string postInstallPage_;
    bool postInstallPageFlag_ = false;

    boost::shared_ptr<IComponentRegistry> registry_;
    std::map<std::string, ComponentRecord> installedRecords_;  // read by LoadInstalledState
    vmi::ComponentList installedComponents_;
    bool installedComponentsBuilt_ = false;

    boost::shared_ptr<vmi::IInstallSession> currentSession_;
    boost::shared_ptr<vmi::IHotFixSession> hotFixSession_;
    std::vector<HotFixRecord> hotFixes_;
};
