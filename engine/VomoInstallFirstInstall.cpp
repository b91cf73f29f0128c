// First installs: the offers an install session runs, and the record a finished install
// session leaves in the registry.
#include <set>

#include <boost/pointer_cast.hpp>

#include "engine/Locale.h"
#include "engine/VomoInstallImpl.h"
#include "platform/LastError.h"
#include "registry/IComponentRegistry.h"
#include "sessions/FailureReason.h"
#include "sessions/InstallSessionImpl.h"
#include "sessions/RunGuard.h"
#include "settings/KeyName.h"
#include "settings/SettingsAccessors.h"

namespace {

const uint32_t kWrongState = 6;
const uint32_t kInstallFinished = 7;

}  // namespace

bool VomoInstallImpl::MakeOffers(const std::vector<PluginRecord>& kept,
                                 std::vector<OfferRecord>& offers) const {
    const std::string language = vmi::Locale::CurrentCode().empty() ? vmi::Locale::FallbackCode()
                                                                    : vmi::Locale::CurrentCode();
    std::vector<bool> taken(bundlePlugins_.size(), false);
    for (const PluginRecord& wanted : kept) {
        bool known = false;
        for (size_t i = 0; i < bundlePlugins_.size(); ++i) {
            const PluginRecord& plugin = bundlePlugins_[i];
            if (plugin.id != wanted.id || plugin.packageUrl != wanted.packageUrl) {
                continue;
            }
            known = true;
            if (!taken[i]) {
                taken[i] = true;
                offers.push_back(MakeOfferRecord(plugin, installDir_, language));
                break;
            }
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

std::vector<BannerPtr> VomoInstallImpl::GetDistributorBanners(
    const std::string& distributorId) const {
    BannerGroups::const_iterator group = bannerGroupBanners_.find(distributorId);
    if (group == bannerGroupBanners_.end() || group->second.empty()) {
        group = bannerGroupBanners_.find(std::string());
    }
    return group == bannerGroupBanners_.end() ? std::vector<BannerPtr>() : group->second;
}

uint32_t VomoInstallImpl::CompleteInstall(const std::vector<std::string>& acceptedEulaIds) {
    const boost::shared_ptr<InstallSessionImpl> install =
        boost::dynamic_pointer_cast<InstallSessionImpl>(currentSession_);
    if (!HasFinished(install.get(), kInstallFinished)) {
        return kWrongState;
    }
    // Written in the machine's run lock, as a run's own writes are (sessions/RunGuard.h).
    RunGuard guard(eventLog_, RunGuard::kRecordsNothing);
    if (!guard.Begin("The installation could not be recorded")) {
        return kWrongState;
    }
    platform::ClearLastError();
    bool ok = true;
    // The components whose installers made their keys, as an update run records them.
    std::set<std::string> installed;
    for (ComponentRecord record : install->GetRecords()) {
        if (!vmds::IsComponentKeyName(record.id) || !vmds::InstallKeyExists(record.id)) {
            continue;
        }
        record.installedVersion = record.latestVersion;
        record.auxiliaryRefs = acceptedEulaIds;
        ok = Registry().SaveComponent(record) == 0 && ok;
        installed.insert(record.id);
    }
    // Each install group of the catalogue with the members this session installed.
    std::vector<ComponentRecord> groups;
    for (const vmi::ComponentPtr& component : components_) {
        if (!component->IsInInstallGroup()) {
            continue;
        }
        ComponentRecord group;
        component->GetRecord(group);
        group.auxiliaryIds.clear();
        for (const vmi::ComponentPtr& member : components_) {
            const std::string id = member->GetId();
            if (member->GetInstallGroup() == group.id && installed.count(id)) {
                group.auxiliaryIds.push_back(id);
            }
        }
        if (!group.auxiliaryIds.empty() && vmds::IsPlainKeyName(group.id)) {
            groups.push_back(group);
        }
    }
    if (!groups.empty()) {
        ok = Registry().SaveInstallGroups(groups) == 0 && ok;
    }
    for (const OfferRecord& offer : install->GetInstalledOffers()) {
        InstalledPlugin plugin;
        plugin.id = offer.id;
        for (const PluginRecord& known : bundlePlugins_) {
            if (known.id == offer.id && Url(known.packageUrl) == offer.packageUrl) {
                plugin.sourceUrl = known.sourceUrl;
                break;
            }
        }
        if (vmds::IsPlainKeyName(plugin.id)) {
            ok = Registry().SavePlugin(plugin) == 0 && ok;
        }
    }
    if (!installDir_.empty()) {
        ok = vmds::WriteInstallString(vmds::kSetupKeyName, "InstallDir", installDir_) && ok;
    }
    ok = CommitInstalledState() == 0 && ok;
    if (!ok) {
        eventLog_->WriteError("The installation could not be recorded: %s\n",
                              FailureReason("the registry refused a write").c_str());
    }
    return ok ? 0 : kWrongState;
}
