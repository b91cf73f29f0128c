#include "offers/BundleGroupStore.h"

#include <cmath>
#include <cstring>

#include "offers/OfferTexts.h"
#include "settings/IVomoSettings.h"
#include "settings/KeyName.h"

namespace {

using vmds::IVomoSettings;

const char kBundleGroupsKey[] = "Install\\Setup\\BundleGroups\\";
const char kPlacementsKey[] = "\\_private\\BannerGroups";
const char kDefaultDistributor[] = "default";

std::string GroupKey(const std::string& groupId) {
    return kBundleGroupsKey + groupId;
}

uint32_t FloatBits(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A stored duration; bits that are no duration (not finite, negative) give 0, as a duration
// text that is not a number does.
float BitsFloat(uint32_t bits) {
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return std::isfinite(value) && value >= 0 ? value : 0;
}

void ReadValue(IVomoSettings& node, const char* name, std::string& field, bool& found) {
    std::string value;
    if (node.GetString(std::string(name), value)) {
        field = value;
        found = true;
    }
}

}  // namespace

bool SaveBundleGroupTexts(const std::string& groupId, const StoredGroupTexts& texts) {
    IVomoSettings::Ptr node;
    if (!vmds::IsPlainKeyName(groupId) ||
        !vmds::OpenSettings(GroupKey(groupId), vmds::kCreateMachine, &node) || !node) {
        return false;
    }
    return node->SetString(std::string("MarketingBundleVersion"), texts.marketingBundleVersion) &&
           node->SetString(std::string("BundleGroupHeading"), texts.heading) &&
           node->SetString(std::string("BundleGroupDescription"), texts.description);
}

bool LoadBundleGroupTexts(const std::string& groupId, StoredGroupTexts& texts) {
    IVomoSettings::Ptr node;
    if (!vmds::IsPlainKeyName(groupId) ||
        !vmds::OpenSettings(GroupKey(groupId), vmds::kOpenMachineRead, &node) || !node) {
        return false;
    }
    ReadValue(*node, "MarketingBundleVersion", texts.marketingBundleVersion,
              texts.hasMarketingBundleVersion);
    ReadValue(*node, "BundleGroupHeading", texts.heading, texts.hasHeading);
    ReadValue(*node, "BundleGroupDescription", texts.description, texts.hasDescription);
    return true;
}

bool SaveBannerPlacements(const std::string& groupId, const BannerGroups& groups,
                          const std::string& locale) {
    if (!vmds::IsPlainKeyName(groupId)) {
        return false;
    }
    const std::string placements = GroupKey(groupId) + kPlacementsKey;
    IVomoSettings::Ptr old;
    if (vmds::OpenSettings(placements, vmds::kOpenMachineWrite, &old) && old && !old->DeleteKey()) {
        return false;
    }
    bool ok = true;
    for (const auto& group : groups) {
        const std::string distributor = group.first.empty() ? kDefaultDistributor : group.first;
        if (!vmds::IsPlainKeyName(distributor)) {
            continue;
        }
        for (const BannerPtr& banner : group.second) {
            std::string id;
            banner->GetId(id);
            IVomoSettings::Ptr node;
            if (!vmds::IsPlainKeyName(id)) {
                continue;
            }
            if (!vmds::OpenSettings(placements + "\\" + distributor + "\\" + id,
                                    vmds::kCreateMachine, &node) ||
                !node) {
                ok = false;
                continue;
            }
            std::string url;
            banner->GetLocalizedUrl(locale, url);
            float seconds = 0;
            banner->GetDisplayDuration(seconds);
            ok = node->SetString(std::string("Locale"), locale) &&
                 node->SetString(std::string("Url"), url) &&
                 node->SetDword(std::string("DisplayDuration"), FloatBits(seconds)) && ok;
        }
    }
    return ok;
}

bool LoadBannerPlacements(const std::string& groupId, BannerGroups& groups) {
    IVomoSettings::Ptr root;
    IVomoSettings::NameSetU distributors;
    if (!vmds::IsPlainKeyName(groupId) ||
        !vmds::OpenSettings(GroupKey(groupId) + kPlacementsKey, vmds::kOpenMachineRead, &root) ||
        !root || !root->GetSubKeyNames(distributors)) {
        return false;
    }
    bool any = false;
    for (const std::string& name : distributors) {
        const std::string distributor =
            vmds::SameKeyName(name, kDefaultDistributor) ? std::string() : name;
        IVomoSettings::Ptr node;
        IVomoSettings::NameSetU banners;
        if (groups.count(distributor) || !vmds::IsPlainKeyName(name) ||
            !root->OpenSubKey(name, &node) || !node || !node->GetSubKeyNames(banners)) {
            continue;
        }
        std::vector<BannerPtr>& list = groups[distributor];
        for (const std::string& id : banners) {
            IVomoSettings::Ptr placement;
            if (!vmds::IsPlainKeyName(id) || !node->OpenSubKey(id, &placement) || !placement) {
                continue;
            }
            std::string locale;
            std::string url;
            uint32_t bits = 0;
            placement->GetString(std::string("Locale"), locale);
            placement->GetString(std::string("Url"), url);
            const float seconds = placement->GetDword(std::string("DisplayDuration"), bits)
                                      ? BitsFloat(bits)
                                      : kDefaultBannerSeconds;
            list.push_back(CreateStoredBanner(id, locale, url, seconds));
            any = true;
        }
    }
    return any;
}
