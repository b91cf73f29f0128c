// The installer engine: fetches and opens the manifest, holds the parsed catalogue, answers
// queries on it and starts the worker sessions.
//
// Result codes: 0 success; 2 not found or nothing to return; 3 not recorded; 4 no manifest
// download started; 5 a manifest download is already running; 6 wrong state; 7 file or
// temporary name unavailable; 8 download failed; 14 manifest XML not parsed; 15 the requested
// list is empty; 18 signature check failed; 19 extraction failed; 23 a spec is offered only in
// a greater version.
//
// The offer catalogue and the selections over it:
// - Offer components (9): the components, in catalogue order, that the download tag's bundle
//   reached and the second bundle did not; the id list (10) holds what the second bundle
//   reached. Offerable components (40): the offer components that are optional, not installed
//   and without an update; for a member of an install group, the group decides (installed when
//   its component is installed or the registry records the group; updatable when its component
//   has an update).
// - FilterComponentList (15): removes from the list the component (for one standing for an
//   install group, its members too) and every component of the list that requires a removed
//   one, directly or through others (required dependencies only); the rest keeps its order.
//   0, or 2 without a component.
// - CommitInstalledState (29): writes "ResourceDescriptors" of every installed component of the
//   manifest; with a selected bundle group, the group's texts (SaveBundleGroupInfo), its
//   members (the installed components either selected bundle reached), its banner placements
//   (replacing the earlier ones) and the placements of its wizard layout. 6 before a manifest
//   was loaded, for a group id that cannot name a key, or when a write failed.
//   LoadInstalledState (7) reads the recorded bundle groups back as bundle groups of their own
//   (18), fills the selected group's missing texts from its copy, and answers GetBannerGroup
//   (22) from the recorded banner placements while the manifest gave no banner groups.
// - GetWizardLayout (21): appends the pages of "DefaultLayout" of the verified manifest; 7
//   without one (GetWizardPageRules (20) gives the placements stored in the registry).
// - GetAvailableUpdates (41): 15 while the selected bundle prohibits automatic updates.
//   Otherwise the installed components with an update available, in catalogue order, limited
//   to what the bundles reached when a bundle reached anything; an install group is updated
//   as a whole (one member with an update brings its other installed members), and components
//   standing for an install group are never listed. The selection goes through OrderComponents
//   (49); of the dependencies it adds, those not installed or with an update of their own are
//   kept. 2 when the ordering fails, 15 when nothing is to be updated.
// - CollectComponents (42): `which` 0 takes every component recorded in the registry, 1 the
//   recorded members of every recorded bundle group, 2 those of the selected bundle's group,
//   other values nothing; each becomes a component made from its record (unreadable ones are
//   left out), in id order. `withInstallGroups`: each install group recorded in the registry
//   replaces its members and follows as a component standing for the group. `withOffers`: the
//   offer components not collected yet follow. Each id once; 15 when empty.
//
// First installs:
// - StartInstallSession (13): installs the caller's selection of `components` (components of
//   the catalogue, not those standing for an install group: ExpandInstallGroups (39) gives an
//   install group's members) in dependency order among themselves: a dependency the caller did
//   not select is taken to be installed already, so no installer runs that was not asked for.
//   The installers get the engine's install directory (SetInstallDir (23)). `offers` are the
//   plug-ins the caller keeps of those GetBundlePlugins (16) hands out: on a setup program's
//   road, those whose plug-in tests pass on this machine and that the user chose, taken after
//   SetPluginCommandLineArgs (17). Each must be a plug-in of the selected bundle (the same id
//   and package URL); the engine makes its own record of that plug-in an offer record, so the
//   offer runs with the arguments set through operation 17, the engine's install directory and
//   its progress texts in the current user-interface language. The offers install alongside
//   the components, each on a thread of its own (sessions/InstallSessionImpl.h). Selects the
//   locale "en-us" when none is selected. 0 with the session kept as the current one and
//   handed out; 2 when an offer is not a plug-in of the selected bundle or the selected
//   components require each other in a circle (nothing runs then); 6 when no thread could be
//   made for the session (offers already started run to their end). No session is kept unless
//   the answer is 0.
// - VomoInstallImpl::CompleteInstall (not an operation of this interface, as CompleteUpdate
//   (28) is for update runs) records what a finished install session installed.
//
// Hot fixes and removals:
// - GetHotFixes (1): reads the engine's manifest when it was verified, otherwise downloads one
//   (tag "dummy") and reads it only once it was verified; appends each hot fix of
//   "hotfixDefinitions" whose component is installed in a version not above the hot fix's
//   "version" (a hot fix without one is skipped) and that the list does not hold yet. True
//   when at least one was appended; false on every failure, the list unchanged.
// - StartUninstallSession (14): removes the given components, with the installed members of a
//   component standing for an install group and every installed component that requires a
//   removed one, dependents first (sessions/UninstallSessionImpl.h). 15 when none of them is
//   installed, 2 when no removal order exists; no session is kept then.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "api/Url.h"
#include "engine/IComponent.h"
#include "engine/IEventLog.h"
#include "engine/IInstallSession.h"
#include "engine/ResourceDescriptor.h"
#include "engine/SpecQuery.h"
#include "engine/Version.h"
#include "offers/PluginRecord.h"
#include "registry/WizardPageRule.h"

namespace vmi {

class IMessage;
class IBundleGroup;

// Called once when a hot-fix session ends: 0 on success, 6 on failure.
typedef void (*HotFixCompletion)(int32_t result);

struct CallerInfo {
    std::string callerTag;
    std::vector<std::string> values;
    boost::shared_ptr<void> object;
};

class IVomoInstall {
public:
    virtual ~IVomoInstall() = default;                                     // 0
    virtual bool GetHotFixes() = 0;                                        // 1
    virtual uint32_t StartHotFixSession(HotFixCompletion completion) = 0;  // 2
    virtual uint32_t BeginManifestDownload(const std::string& tag) = 0;    // 3
    virtual uint32_t BeginManifestDownloadFor(const std::string& tag,
                                              const std::string& name) = 0;  // 4
    virtual uint32_t PollManifestDownload() = 0;                             // 5
    virtual uint32_t LoadManifest() = 0;                                     // 6
    virtual uint32_t LoadInstalledState() = 0;                               // 7
    virtual uint32_t GetCallerInfo(CallerInfo& info) = 0;                    // 8
    virtual uint32_t GetOfferComponents(ComponentList& components) = 0;      // 9
    virtual uint32_t GetIdList(std::vector<std::string>& ids) = 0;           // 10
    virtual uint32_t GetComponents(ComponentList& components) = 0;           // 11
    virtual uint32_t CreateUpdateSession(const std::vector<std::string>& ids,
                                         boost::shared_ptr<IInstallSession>& session) = 0;  // 12
    virtual uint32_t StartInstallSession(const ComponentList& components,
                                         const std::vector<PluginRecord>& offers,
                                         boost::shared_ptr<IInstallSession>& session) = 0;  // 13
    virtual uint32_t StartUninstallSession(const ComponentList& components,
                                           boost::shared_ptr<IInstallSession>& session) = 0;  // 14
    virtual uint32_t FilterComponentList(const ComponentPtr& component,
                                         ComponentList& components) = 0;        // 15
    virtual uint32_t GetBundlePlugins(std::vector<PluginRecord>& plugins) = 0;  // 16
    virtual uint32_t SetPluginCommandLineArgs(const std::string& pluginId,
                                              const std::string& args) = 0;  // 17
    virtual uint32_t GetBundleGroups(
        std::vector<boost::shared_ptr<IBundleGroup>>& groups) = 0;                         // 18
    virtual uint32_t GetMessages(std::vector<boost::shared_ptr<IMessage>>& messages) = 0;  // 19
    virtual uint32_t GetWizardPageRules(std::vector<WizardPageRule>& rules) = 0;           // 20
    virtual uint32_t GetWizardLayout(std::vector<WizardPageRule>& rules) = 0;              // 21
    virtual uint32_t GetBannerGroup(const std::string& distributorId,
                                    std::vector<std::string>& bannerIds) = 0;   // 22
    virtual uint32_t SetInstallDir(const std::string& dir) = 0;                 // 23
    virtual uint32_t GetInstallDir(std::string& dir) = 0;                       // 24
    virtual uint32_t SetEventLog(const boost::shared_ptr<IEventLog>& log) = 0;  // 25
    virtual uint32_t GetEventLog(boost::shared_ptr<IEventLog>& log) = 0;        // 26
    virtual uint32_t SetCallerTag(const std::string& tag) = 0;                  // 27
    virtual uint32_t CompleteUpdate() = 0;                                      // 28
    virtual uint32_t CommitInstalledState() = 0;                                // 29
    virtual uint32_t FindComponentsBySpec(const SpecQuery& query,
                                          std::set<std::string>& ids) = 0;  // 30
    virtual uint32_t GetStateFlag(bool& flag) = 0;                          // 31
    virtual uint32_t CreateComponentFromManifest(const std::string& id, const std::string& streamId,
                                                 ComponentPtr& component) = 0;          // 32
    virtual uint32_t GetComponent(const std::string& id, ComponentPtr& component) = 0;  // 33
    virtual uint32_t GetMarketingBundleVersion(std::string& version) = 0;               // 34
    virtual uint32_t GetProviderTexts(int32_t which, std::string& first,
                                      std::string& second) = 0;                             // 35
    virtual uint32_t GetResource(const std::string& id, ResourceDescriptor& resource) = 0;  // 36
    virtual uint32_t GetResources(std::vector<ResourceDescriptor>& resources) = 0;          // 37
    virtual uint32_t GetInstalledComponents(ComponentList& components) = 0;                 // 38
    virtual uint32_t ExpandInstallGroups(const ComponentList& components,
                                         std::vector<std::string>& ids) = 0;  // 39
    virtual uint32_t GetOfferableComponents(ComponentList& components) = 0;   // 40
    virtual uint32_t GetAvailableUpdates(ComponentList& components) = 0;      // 41
    virtual uint32_t CollectComponents(int32_t which, bool withOffers, bool withInstallGroups,
                                       ComponentList& components) = 0;  // 42
    virtual uint32_t ReadManifestVersion(Version& version) = 0;         // 43
    virtual uint32_t GetManifestVersion(Version& version) = 0;          // 44
    virtual uint32_t GetSetupServerUrl(Url& url) = 0;                   // 45
    virtual uint32_t GetPostInstallPage(const std::vector<std::string>& selectedIds,
                                        std::string& page) = 0;                   // 46
    virtual uint32_t GetCommonStreamId(std::string& streamId) = 0;                // 47
    virtual uint32_t MarkHandledComponents(const ComponentList& components) = 0;  // 48
    virtual uint32_t OrderComponents(const ComponentList& selected,
                                     ComponentList& ordered) = 0;  // 49
};

}  // namespace vmi
