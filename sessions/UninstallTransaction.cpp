#include "sessions/UninstallTransaction.h"

#include <algorithm>
#include <set>
#include <string>

#include <boost/make_shared.hpp>

#include "engine/EventLogStub.h"
#include "packages/PackageLauncherFactory.h"
#include "platform/Interrupt.h"
#include "platform/LastError.h"
#include "sessions/FailureReason.h"
#include "settings/InstallerSettingsImpl.h"
#include "settings/SettingsAccessors.h"

namespace {

const uint32_t kSucceeded = 0;
const uint32_t kUninstallFailed = 10;
const uint32_t kRestartRequired = 13;

const char kRule[] = "-------------------------------------------------------------\n\n";

}  // namespace

UninstallTransaction::UninstallTransaction(const std::vector<ComponentRecord>& records,
                                           IUninstallTransactionCB* observer,
                                           const boost::shared_ptr<vmi::IEventLog>& log)
    : records_(records),
      observer_(observer),
      log_(log ? log : boost::make_shared<EventLogStub>()),
      registry_(CreateComponentRegistry()) {}

uint32_t UninstallTransaction::Run() {
    log_->Write("Uninstalling components --------------------------------------\n");
    const uint32_t count = static_cast<uint32_t>(records_.size());
    for (index_ = 0; index_ < count; ++index_) {
        const ComponentRecord& record = records_[index_];
        if (observer_) {
            observer_->OnUninstallStart(index_, count, record.id);
        }
        // An interrupted run starts no further uninstaller.
        platform::ClearLastError();
        const uint32_t result =
            platform::InterruptSignal() != 0 ? kUninstallFailed : Remove(record);
        if (result != kSucceeded && result != kRestartRequired) {
            if (!keyFailed_) {
                log_->WriteError("Component: [%s] - Failed with error: %s", record.id.c_str(),
                                 FailureReason("the uninstaller failed").c_str());
            }
            log_->Write(kRule);
            vmds::FlushInstallArea();  // what was removed stays removed
            return result;
        }
    }
    log_->Write(kRule);
    RemoveEmptyGroups();
    vmds::FlushInstallArea();
    return kSucceeded;
}

uint32_t UninstallTransaction::Remove(const ComponentRecord& record) {
    const char* id = record.id.c_str();
    std::string uninstaller;
    InstallerSettingsImpl settings;
    settings.GetString(record.id, "UninstallPath", uninstaller);
    log_->WriteInfo("Component: [%s] %s\n", id, uninstaller.c_str());
    if (uninstaller.empty()) {
        return RemoveKey(record.id) ? kSucceeded : kUninstallFailed;
    }
    log_->WriteInfo("Unnstalling component: [%s] version: [%s]\n", id,
                    record.latestVersion.ToString().c_str());
    boost::shared_ptr<IPackageLauncher> launcher;
    PackageLauncherFactory factory;
    const uint32_t made =
        factory.CreateComponentLauncher(launcher, record, boost::shared_ptr<vmi::IEventLog>());
    if (made != 0 || !launcher) {
        platform::SetLastError(made, "no uninstaller can run its package type");
        return made != 0 ? made : 6;
    }
    const uint32_t result = launcher->UninstallPackage();
    if (result == kSucceeded) {
        log_->WriteInfo("Component: [%s] Uninstall Succeeded\n", id);
    } else if (result == kRestartRequired) {
        log_->WriteInfo("Component: [%s] Uninstall Succeeded (Reboot Required)\n", id);
        rebootRequired_ = true;
    } else {
        return result;
    }
    return RemoveKey(record.id) ? result : kUninstallFailed;
}

// A key that stays would show the component as installed when it is gone: the run fails.
bool UninstallTransaction::RemoveKey(const std::string& id) {
    platform::ClearLastError();
    if (registry_->RemoveComponent(id) != 0) {
        log_->WriteError("Component: [%s] - Failed to delete it's registry key: %s", id.c_str(),
                         FailureReason("the registry refused").c_str());
        keyFailed_ = true;
        return false;
    }
    return true;
}

void UninstallTransaction::RemoveEmptyGroups() {
    std::set<std::string> installed;
    registry_->GetInstalledComponentIds(installed);
    const auto anyInstalled = [&installed](const std::set<std::string>& members) {
        return std::any_of(members.begin(), members.end(),
                           [&installed](const std::string& id) { return installed.count(id); });
    };

    std::set<std::string> bundleGroups;
    registry_->GetBundleGroupIds(bundleGroups);
    for (const std::string& group : bundleGroups) {
        std::set<std::string> members;
        if (registry_->GetBundleGroupMembers(group, members) == 0 && !anyInstalled(members)) {
            registry_->RemoveBundleGroup(group);
        }
    }

    std::set<std::string> removed;
    std::set<std::string> formerGroups;
    for (const ComponentRecord& record : records_) {
        removed.insert(record.id);
        if (!record.installGroup.empty()) {
            formerGroups.insert(record.installGroup);
        }
    }
    std::vector<ComponentRecord> installGroups;
    registry_->LoadInstallGroups(installGroups);
    std::vector<std::string> emptied;
    for (const ComponentRecord& group : installGroups) {
        const std::set<std::string> members(group.auxiliaryIds.begin(), group.auxiliaryIds.end());
        const bool touched =
            formerGroups.count(group.id) ||
            std::any_of(members.begin(), members.end(),
                        [&removed](const std::string& id) { return removed.count(id) > 0; });
        if (touched && !anyInstalled(members)) {
            emptied.push_back(group.id);
        }
    }
    if (!emptied.empty()) {
        registry_->RemoveInstallGroups(emptied);
    }
}
