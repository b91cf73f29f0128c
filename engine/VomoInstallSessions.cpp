// The engine's sessions: install, update and hot-fix runs on worker threads of their own, and
// the closing of an update run in the registry.
#include <set>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include "engine/DependencyOrder.h"
#include "engine/Locale.h"
#include "engine/VomoInstallImpl.h"
#include "platform/LastError.h"
#include "registry/IComponentRegistry.h"
#include "sessions/DynamicSessionImpl.h"
#include "sessions/FailureReason.h"
#include "sessions/HotFixSessionImpl.h"
#include "sessions/InstallSessionImpl.h"
#include "sessions/RunGuard.h"
#include "settings/KeyName.h"
#include "settings/SettingsAccessors.h"

namespace {

const uint32_t kNoOrder = 2;
const uint32_t kWrongState = 6;
const uint32_t kUpdateFinished = 7;

}  // namespace

// The selection is put in dependency order among itself: a dependency the caller did not
// select is taken to be installed already (the selections of the catalogue add the ones that
// are not), so no installer runs that was not asked for. A cycle among the selected fails.
// Each offer runs as the engine's own record of that plug-in describes it.
uint32_t VomoInstallImpl::StartInstallSession(const vmi::ComponentList& components,
                                              const std::vector<PluginRecord>& offers,
                                              boost::shared_ptr<vmi::IInstallSession>& session) {
    vmi::Locale::SelectIfNone("en-us");
    std::vector<OfferRecord> offerRecords;
    if (!MakeOffers(offers, offerRecords)) {
        return kNoOrder;
    }
    std::set<std::string> selected;
    for (const vmi::ComponentPtr& component : components) {
        if (component) {
            selected.insert(component->GetId());
        }
    }
    std::vector<DependencyNode> nodes;
    std::vector<std::string> requested;
    for (const vmi::ComponentPtr& component : components) {
        if (!component) {
            continue;
        }
        DependencyNode node;
        node.id = component->GetId();
        std::vector<std::string> dependencies;
        component->GetDependencies(dependencies);
        for (const std::string& dependency : dependencies) {
            if (selected.count(dependency)) {
                node.dependencies.push_back(dependency);
            }
        }
        nodes.push_back(node);
        requested.push_back(node.id);
    }
    std::vector<std::string> order;
    if (!DependencyOrder(nodes, requested).GetInstallOrder(order)) {
        return kNoOrder;
    }
    std::vector<ComponentRecord> records;
    for (const std::string& id : order) {
        for (const vmi::ComponentPtr& component : components) {
            if (component && component->GetId() == id) {
                ComponentRecord record;
                component->GetRecord(record);
                component->GetLatestVersion(record.latestVersion);
                record.installDir = installDir_;
                records.push_back(record);
                break;
            }
        }
    }
    const boost::shared_ptr<InstallSessionImpl> started =
        boost::make_shared<InstallSessionImpl>(records, components, offerRecords, eventLog_);
    const uint32_t result = started->Start();
    if (result != 0) {
        return result;
    }
    currentSession_ = started;
    session = started;
    return 0;
}

uint32_t VomoInstallImpl::CreateUpdateSession(const std::vector<std::string>& ids,
                                              boost::shared_ptr<vmi::IInstallSession>& session) {
    vmi::Locale::SelectIfNone("en-us");
    std::string installDir;
    if (vmds::ReadInstallString(vmds::kSetupKeyName, "InstallDir", installDir)) {
        installDir_ = installDir;
    }
    const boost::shared_ptr<DynamicSessionImpl> started =
        boost::make_shared<DynamicSessionImpl>(components_, ids, installDir_, eventLog_);
    const uint32_t result = started->Start();
    if (result != 0) {
        return result;  // no session is kept
    }
    currentSession_ = started;
    session = started;
    return 0;
}

uint32_t VomoInstallImpl::StartHotFixSession(vmi::HotFixCompletion completion) {
    const boost::shared_ptr<HotFixSessionImpl> started =
        boost::make_shared<HotFixSessionImpl>(hotFixes_, eventLog_, completion);
    const uint32_t result = started->Start();
    if (result != 0) {
        return result;
    }
    hotFixSession_ = started;
    return 0;
}

bool VomoInstallImpl::HasFinished(vmi::IInstallSession* session, uint32_t finishedState) {
    uint32_t position = 0;
    uint32_t total = 0;
    uint32_t state = 0;
    if (session == nullptr) {
        return false;
    }
    session->GetProgress(position, total, state);
    return state == finishedState;
}

// Only a finished update run is recorded: a run still under way or failed did not install the
// latest versions, and recording them would hide the updates still due. The records are
// written in the machine's run lock, as a run's own writes are. A record that cannot be written
// (a registry that became read-only or full) fails the operation, with its reason in the log:
// an update reported done must be recorded; the other records are still written.
uint32_t VomoInstallImpl::CompleteUpdate() {
    const boost::shared_ptr<DynamicSessionImpl> update =
        boost::dynamic_pointer_cast<DynamicSessionImpl>(currentSession_);
    if (!HasFinished(update.get(), kUpdateFinished)) {
        return kWrongState;
    }
    RunGuard guard(eventLog_, RunGuard::kRecordsNothing);
    if (!guard.Begin("The update could not be recorded")) {
        return kWrongState;
    }
    uint32_t result = 0;
    for (ComponentRecord record : update->GetRecords()) {
        if (!vmds::IsComponentKeyName(record.id) || !vmds::InstallKeyExists(record.id)) {
            continue;
        }
        record.installedVersion = record.latestVersion;
        platform::ClearLastError();
        if (Registry().SaveComponent(record) != 0) {
            eventLog_->WriteError("Component: [%s] - Failed to record the update: %s\n",
                                  record.id.c_str(),
                                  FailureReason("the registry refused the record").c_str());
            result = kWrongState;
        }
    }
    // The run's records, and everything written before them, outlast a power loss.
    vmds::FlushInstallArea();
    return result;
}
