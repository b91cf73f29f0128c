#include "sessions/UninstallSessionImpl.h"

#include <algorithm>
#include <deque>
#include <exception>
#include <map>
#include <set>

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "engine/ComponentImpl.h"
#include "engine/DependencyOrder.h"
#include "registry/IComponentRegistry.h"
#include "sessions/RunGuard.h"
#include "sessions/SessionComponents.h"
#include "sessions/UninstallTransaction.h"
#include "settings/KeyName.h"

namespace {

typedef boost::lock_guard<boost::recursive_mutex> Lock;

const uint32_t kNoOrder = 2;
const uint32_t kStartedBefore = 5;
const uint32_t kNoThread = 6;
const uint32_t kNothingInstalled = 15;

const uint32_t kUninstalling = 6;
const uint32_t kFinished = 7;
const uint32_t kFailed = 8;

}  // namespace

UninstallSessionImpl::UninstallSessionImpl(const vmi::ComponentList& components,
                                           const boost::shared_ptr<vmi::IEventLog>& log)
    : log_(log), components_(components) {}

UninstallSessionImpl::~UninstallSessionImpl() {
    worker_.Join();
}

uint32_t UninstallSessionImpl::BuildRecords(std::vector<ComponentRecord>& records,
                                            vmi::ComponentList& added) {
    const boost::shared_ptr<IComponentRegistry> registry = CreateComponentRegistry();
    std::set<std::string> ids;
    registry->GetInstalledComponentIds(ids);
    std::map<std::string, ComponentRecord> installed;
    for (const std::string& id : ids) {
        ComponentRecord record;
        if (vmds::IsComponentKeyName(id) && registry->LoadComponent(id, record) == 0) {
            record.id = id;  // the key names the component, whatever its values say
            installed[id] = record;
        }
    }
    std::vector<ComponentRecord> installGroups;
    registry->LoadInstallGroups(installGroups);

    // The asked components, a component standing for an install group giving its members.
    std::deque<std::string> pending;
    for (const vmi::ComponentPtr& component : components_) {
        if (!component) {
            continue;
        }
        const std::string id = component->GetId();
        const bool standsForGroup = component->IsInInstallGroup() || !installed.count(id);
        for (const ComponentRecord& group : installGroups) {
            if (standsForGroup && group.id == id) {
                pending.insert(pending.end(), group.auxiliaryIds.begin(), group.auxiliaryIds.end());
            }
        }
        pending.push_back(id);
    }

    // With every installed component that requires one of them, directly or through others.
    std::map<std::string, std::vector<std::string>> requiredBy;
    for (const auto& entry : installed) {
        for (const std::string& dependency : entry.second.dependencies) {
            requiredBy[dependency].push_back(entry.first);
        }
    }
    std::set<std::string> removed;
    while (!pending.empty()) {
        const std::string id = pending.front();
        pending.pop_front();
        if (!installed.count(id) || !removed.insert(id).second) {
            continue;
        }
        const std::vector<std::string>& dependents = requiredBy[id];
        pending.insert(pending.end(), dependents.begin(), dependents.end());
    }
    if (removed.empty()) {
        return kNothingInstalled;
    }

    std::vector<DependencyNode> nodes;
    for (const std::string& id : removed) {
        DependencyNode node;
        node.id = id;
        for (const std::string& dependency : installed[id].dependencies) {
            if (removed.count(dependency)) {
                node.dependencies.push_back(dependency);
            }
        }
        nodes.push_back(node);
    }
    std::vector<std::string> order;
    if (!DependencyOrder(nodes, std::vector<std::string>(removed.begin(), removed.end()))
             .GetInstallOrder(order)) {
        return kNoOrder;
    }
    std::set<std::string> named;
    for (const vmi::ComponentPtr& component : components_) {
        if (component) {
            named.insert(component->GetId());
        }
    }
    for (std::vector<std::string>::reverse_iterator it = order.rbegin(); it != order.rend(); ++it) {
        ComponentRecord record = installed[*it];
        record.latestVersion = record.installedVersion;
        records.push_back(record);
        if (!named.count(*it)) {
            added.push_back(boost::make_shared<ComponentImpl>(record));
        }
    }
    return 0;
}

uint32_t UninstallSessionImpl::Start() {
    Lock lock(mutex_);
    if (started_) {
        return kStartedBefore;
    }
    started_ = true;
    std::vector<ComponentRecord> records;
    vmi::ComponentList added;
    const uint32_t built = BuildRecords(records, added);
    if (built != 0) {
        return built;
    }
    records_ = records;
    components_.insert(components_.end(), added.begin(), added.end());
    state_ = kUninstalling;
    if (!worker_.Start(boost::bind(&UninstallSessionImpl::Work, this))) {
        state_ = kFailed;
        return kNoThread;
    }
    return 0;
}

void UninstallSessionImpl::Work() {
    std::vector<ComponentRecord> records;
    {
        Lock lock(mutex_);
        records = records_;
    }
    uint32_t result = 10;
    bool reboot = false;
    try {
        RunGuard guard(log_, RunGuard::kRecordsNothing);
        if (guard.Begin()) {
            UninstallTransaction transaction(records, this, log_);
            result = transaction.Run();
            reboot = transaction.IsRebootRequired();
        }
    } catch (const std::exception&) {
        result = 10;  // no memory: nothing more can be done
    }
    Lock lock(mutex_);
    rebootRequired_ = reboot;
    state_ = result == 0 ? kFinished : kFailed;
}

std::vector<ComponentRecord> UninstallSessionImpl::GetRecords() {
    Lock lock(mutex_);
    return records_;
}

uint32_t UninstallSessionImpl::GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) {
    Lock lock(mutex_);
    position = position_;
    total = total_;
    state = state_;
    return 0;
}

vmi::ComponentPtr UninstallSessionImpl::CurrentComponent() {
    return FindSessionComponent(components_, currentId_);
}

uint32_t UninstallSessionImpl::GetCurrentComponent(vmi::ComponentPtr& component) {
    Lock lock(mutex_);
    const vmi::ComponentPtr current = CurrentComponent();
    if (!current) {
        return 2;
    }
    component = current;
    return 0;
}

uint32_t UninstallSessionImpl::Cancel() {
    Lock lock(mutex_);
    cancelRequested_ = true;
    return 0;
}

uint32_t UninstallSessionImpl::GetCurrentComponentText(std::string& text) {
    Lock lock(mutex_);
    return SessionComponentName(components_, currentId_, text);
}

uint32_t UninstallSessionImpl::GetStatusText(const std::string& phase, std::string& text) {
    Lock lock(mutex_);
    return SessionProgressText(CurrentComponent(), phase, text);
}

bool UninstallSessionImpl::IsRebootRequired() {
    Lock lock(mutex_);
    return rebootRequired_;
}

void UninstallSessionImpl::OnUninstallStart(uint32_t index, uint32_t count, const std::string& id) {
    Lock lock(mutex_);
    position_ = index;
    total_ = count;
    state_ = kUninstalling;
    currentId_ = id;
}
