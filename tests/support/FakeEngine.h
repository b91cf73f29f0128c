// A substitute engine for tests of the component manager: every operation answers a
// configurable code and counts its calls; the catalogue is a plain list of components.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "engine/IVomoInstall.h"

namespace testsupport {

class FakeEngine : public vmi::IVomoInstall {
public:
    // Answers of the operations the manager calls.
    uint32_t beginResult = 0;
    std::deque<uint32_t> pollResults;  // consumed front first; the last one repeats
    uint32_t loadResult = 0;
    uint32_t createSessionResult = 0;
    boost::shared_ptr<vmi::IInstallSession> session;
    uint32_t completeResult = 0;
    // FindComponentsBySpec: key "role|name|version" -> (answer, id added on 0).
    std::map<std::string, std::pair<uint32_t, std::string>> specAnswers;
    std::map<std::string, vmi::ComponentPtr> components;

    // Observations.
    int beginCalls = 0;
    int pollCalls = 0;
    int loadCalls = 0;
    int findCalls = 0;
    int createSessionCalls = 0;
    int completeCalls = 0;
    std::vector<SpecQuery> queries;
    std::vector<std::string> sessionIds;
    std::vector<std::string> componentLookups;

    static std::string Key(const std::string& role, const std::string& name,
                           const std::string& version) {
        return role + "|" + name + "|" + version;
    }

    uint32_t BeginManifestDownload(const std::string&) override {
        ++beginCalls;
        return beginResult;
    }
    uint32_t PollManifestDownload() override {
        ++pollCalls;
        if (pollResults.empty()) {
            return 0;
        }
        const uint32_t result = pollResults.front();
        if (pollResults.size() > 1) {
            pollResults.pop_front();
        }
        return result;
    }
    uint32_t LoadManifest() override {
        ++loadCalls;
        return loadResult;
    }
    uint32_t FindComponentsBySpec(const SpecQuery& query, std::set<std::string>& ids) override {
        ++findCalls;
        queries.push_back(query);
        std::map<std::string, std::pair<uint32_t, std::string>>::const_iterator it =
            specAnswers.find(Key(query.role, query.name, query.version));
        if (it == specAnswers.end()) {
            return 2;
        }
        if (it->second.first == 0) {
            ids.insert(it->second.second);
        }
        return it->second.first;
    }
    uint32_t GetComponent(const std::string& id, vmi::ComponentPtr& component) override {
        componentLookups.push_back(id);
        std::map<std::string, vmi::ComponentPtr>::const_iterator it = components.find(id);
        if (it == components.end()) {
            return 2;
        }
        component = it->second;
        return 0;
    }
    uint32_t CreateUpdateSession(const std::vector<std::string>& ids,
                                 boost::shared_ptr<vmi::IInstallSession>& out) override {
        ++createSessionCalls;
        sessionIds = ids;
        if (createSessionResult == 0) {
            out = session;
        }
        return createSessionResult;
    }
    uint32_t CompleteUpdate() override {
        ++completeCalls;
        return completeResult;
    }

    // Everything else answers "nothing here".
    bool GetHotFixes() override { return false; }
    uint32_t StartHotFixSession(vmi::HotFixCompletion) override { return 6; }
    uint32_t BeginManifestDownloadFor(const std::string& tag, const std::string&) override {
        return BeginManifestDownload(tag);
    }
    uint32_t LoadInstalledState() override { return 6; }
    uint32_t GetCallerInfo(vmi::CallerInfo&) override { return 0; }
    uint32_t GetOfferComponents(vmi::ComponentList&) override { return 15; }
    uint32_t GetIdList(std::vector<std::string>&) override { return 15; }
    uint32_t GetComponents(vmi::ComponentList&) override { return 15; }
    uint32_t StartInstallSession(const vmi::ComponentList&, const std::vector<PluginRecord>&,
                                 boost::shared_ptr<vmi::IInstallSession>&) override {
        return 6;
    }
    uint32_t StartUninstallSession(const vmi::ComponentList&,
                                   boost::shared_ptr<vmi::IInstallSession>&) override {
        return 6;
    }
    uint32_t FilterComponentList(const vmi::ComponentPtr&, vmi::ComponentList&) override {
        return 6;
    }
    uint32_t GetBundlePlugins(std::vector<PluginRecord>&) override { return 15; }
    uint32_t SetPluginCommandLineArgs(const std::string&, const std::string&) override { return 0; }
    uint32_t GetBundleGroups(std::vector<boost::shared_ptr<vmi::IBundleGroup>>&) override {
        return 0;
    }
    uint32_t GetMessages(std::vector<boost::shared_ptr<vmi::IMessage>>&) override { return 0; }
    uint32_t GetWizardPageRules(std::vector<WizardPageRule>&) override { return 2; }
    uint32_t GetWizardLayout(std::vector<WizardPageRule>&) override { return 2; }
    uint32_t GetBannerGroup(const std::string&, std::vector<std::string>&) override { return 15; }
    uint32_t SetInstallDir(const std::string&) override { return 0; }
    uint32_t GetInstallDir(std::string&) override { return 2; }
    uint32_t SetEventLog(const boost::shared_ptr<vmi::IEventLog>&) override { return 0; }
    uint32_t GetEventLog(boost::shared_ptr<vmi::IEventLog>&) override { return 0; }
    uint32_t SetCallerTag(const std::string&) override { return 0; }
    uint32_t CommitInstalledState() override { return 6; }
    uint32_t GetStateFlag(bool&) override { return 0; }
    uint32_t CreateComponentFromManifest(const std::string&, const std::string&,
                                         vmi::ComponentPtr&) override {
        return 2;
    }
    uint32_t GetMarketingBundleVersion(std::string&) override { return 0; }
    uint32_t GetProviderTexts(int32_t, std::string&, std::string&) override { return 0; }
    uint32_t GetResource(const std::string&, ResourceDescriptor&) override { return 2; }
    uint32_t GetResources(std::vector<ResourceDescriptor>&) override { return 2; }
    uint32_t GetInstalledComponents(vmi::ComponentList&) override { return 15; }
    uint32_t ExpandInstallGroups(const vmi::ComponentList&, std::vector<std::string>&) override {
        return 2;
    }
    uint32_t GetOfferableComponents(vmi::ComponentList&) override { return 15; }
    uint32_t GetAvailableUpdates(vmi::ComponentList&) override { return 15; }
    uint32_t CollectComponents(int32_t, bool, bool, vmi::ComponentList&) override { return 15; }
    uint32_t ReadManifestVersion(Version&) override { return 7; }
    uint32_t GetManifestVersion(Version&) override { return 0; }
    uint32_t GetSetupServerUrl(Url&) override { return 7; }
    uint32_t GetPostInstallPage(const std::vector<std::string>&, std::string&) override {
        return 2;
    }
    uint32_t GetCommonStreamId(std::string&) override { return 0; }
    uint32_t MarkHandledComponents(const vmi::ComponentList&) override { return 0; }
    uint32_t OrderComponents(const vmi::ComponentList&, vmi::ComponentList&) override { return 2; }
};

}  // namespace testsupport
