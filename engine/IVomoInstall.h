// The installer engine: fetches and opens the manifest, holds the parsed catalogue, answers
// queries on it and starts the worker sessions.
//
// Result codes: 0 success; 2 not found or nothing to return; 3 not recorded; 4 no manifest
// download started; 5 a manifest download is already running; 6 wrong state; 7 file or
// temporary name unavailable; 8 download failed; 14 manifest XML not parsed; 15 the requested
// list is empty; 18 signature check failed; 19 extraction failed; 23 a spec is offered only in
// a greater version.
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
    virtual uint32_t CollectComponents(int32_t which, bool first, bool second,
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
