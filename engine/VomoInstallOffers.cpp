// The offer catalogue: taking over the offer sections of a loaded manifest, the wizard layout
// read from the manifest file, and the registry copy of the installed offer (its bundle group,
// members, banner placements and wizard layout).
#include <set>

#include <boost/make_shared.hpp>

#include "engine/Locale.h"
#include "engine/ManifestDocument.h"
#include "engine/MultiLangStringImpl.h"
#include "engine/VomoInstallImpl.h"
#include "offers/BundleGroupStore.h"
#include "registry/ComponentRegistry.h"
#include "settings/KeyName.h"
#include "settings/SettingsAccessors.h"

namespace {

const char kDefaultLayout[] = "DefaultLayout";

// The language texts are stored in and read back under: the current user-interface language,
// or the fallback language while none is selected.
std::string StoredLanguage() {
    const std::string current = vmi::Locale::CurrentCode();
    return current.empty() ? vmi::Locale::FallbackCode() : current;
}

std::string LocalizedOrEmpty(const boost::shared_ptr<vmi::IMultiLangString>& text) {
    std::string value;
    if (!text || text->GetLocalizedText(vmi::Locale::CurrentCode(), value) != 0) {
        return std::string();
    }
    return value;
}

boost::shared_ptr<vmi::IMultiLangString> SingleLanguage(const std::string& text) {
    boost::shared_ptr<MultiLangStringImpl> result = boost::make_shared<MultiLangStringImpl>();
    result->Add(StoredLanguage(), text);
    return result;
}

std::map<std::string, std::vector<std::string>> BannerIds(const BannerGroups& groups) {
    std::map<std::string, std::vector<std::string>> ids;
    for (const auto& group : groups) {
        std::vector<std::string>& list = ids[group.first];
        for (const BannerPtr& banner : group.second) {
            std::string id;
            banner->GetId(id);
            list.push_back(id);
        }
    }
    return ids;
}

}  // namespace

void VomoInstallImpl::TakeOffers(OfferSections& offers) {
    eulas_.swap(offers.eulas);
    messages_.swap(offers.messages);
    idList_.swap(offers.secondBundleIds);
    bundleIdList_.swap(offers.bundleIds);
    isolated_ = offers.isolated;
    autoUpdateProhibited_ = offers.autoUpdateProhibited;
    bundlePlugins_.swap(offers.bundlePlugins);
    bundleGroup_ = offers.group;
    wizardPageRules_.swap(offers.wizardPageRules);
    bannerGroupBanners_.swap(offers.bannerGroups);
    bannerGroups_ = BannerIds(bannerGroupBanners_);
    offerComponents_.swap(offers.offerComponents);
    postInstallPage_ = bundleGroup_.postInstallUrl;
    postInstallPageFlag_ = isolated_;
    offersRead_ = true;
    RebuildBundleGroups();
}

void VomoInstallImpl::RebuildBundleGroups() {
    bundleGroups_.clear();
    if (!bundleGroup_.id.empty()) {
        BundleGroupRecord selected = bundleGroup_;
        selected.marketingBundleVersion = marketingBundleVersion_;
        bundleGroups_.push_back(CreateBundleGroup(selected));
    }
    for (const BundleGroupRecord& installed : installedBundleGroups_) {
        if (installed.id != bundleGroup_.id) {
            bundleGroups_.push_back(CreateBundleGroup(installed));
        }
    }
}

// The pages of "DefaultLayout" in the verified manifest are appended; 7 without one (the stored
// placements are GetWizardPageRules' answer).
uint32_t VomoInstallImpl::GetWizardLayout(std::vector<WizardPageRule>& rules) {
    boost::shared_ptr<const ManifestDocument> document;
    const uint32_t opened = ReadManifest(document);  // 7 without a manifest path
    if (opened == ManifestDocument::kUnavailable) {
        return opened;
    }
    if (opened != 0) {
        return 2;
    }
    const TiXmlNode* layout =
        TinyXPath::xpath_processor(document->Root(), std::string("//wizardLayoutDefinitions/"
                                                                 "wizardLayout[@id='") +
                                                         kDefaultLayout + "']")
            .first_node();
    if (layout) {
        ReadWizardPages(layout, "//page", rules);
    }
    return 0;
}

bool VomoInstallImpl::SaveBundleGroupInfo() {
    if (bundleGroup_.id.empty()) {
        return false;
    }
    StoredGroupTexts texts;
    texts.marketingBundleVersion = marketingBundleVersion_;
    texts.heading = LocalizedOrEmpty(bundleGroup_.heading);
    texts.description = LocalizedOrEmpty(bundleGroup_.description);
    return SaveBundleGroupTexts(bundleGroup_.id, texts);
}

void VomoInstallImpl::LoadBundleGroupInfo() {
    StoredGroupTexts texts;
    if (bundleGroup_.id.empty() || !LoadBundleGroupTexts(bundleGroup_.id, texts)) {
        return;
    }
    if (texts.hasMarketingBundleVersion && marketingBundleVersion_.empty()) {
        marketingBundleVersion_ = texts.marketingBundleVersion;
    }
    if (texts.hasHeading && !bundleGroup_.heading) {
        bundleGroup_.heading = SingleLanguage(texts.heading);
    }
    if (texts.hasDescription && !bundleGroup_.description) {
        bundleGroup_.description = SingleLanguage(texts.description);
    }
}

// The groups recorded in the registry become bundle groups of their own (texts, members); the
// banner placements recorded for the selected bundle's group (or, without one, for every
// recorded group, the first group of a distributor winning) answer GetBannerGroup while the
// manifest gave no banner groups.
void VomoInstallImpl::LoadInstalledOffers() {
    LoadBundleGroupInfo();
    installedBundleGroups_.clear();
    std::set<std::string> ids;
    Registry().GetBundleGroupIds(ids);
    for (const std::string& id : ids) {
        if (!vmds::IsPlainKeyName(id)) {
            continue;
        }
        BundleGroupRecord group;
        group.id = id;
        StoredGroupTexts texts;
        if (LoadBundleGroupTexts(id, texts)) {
            group.marketingBundleVersion = texts.marketingBundleVersion;
            if (texts.hasHeading) {
                group.heading = SingleLanguage(texts.heading);
            }
            if (texts.hasDescription) {
                group.description = SingleLanguage(texts.description);
            }
        }
        std::set<std::string> members;
        Registry().GetBundleGroupMembers(id, members);
        group.componentIds.assign(members.begin(), members.end());
        installedBundleGroups_.push_back(group);
    }
    RebuildBundleGroups();

    if (bannerGroupBanners_.empty()) {
        BannerGroups stored;
        if (!bundleGroup_.id.empty() && ids.count(bundleGroup_.id)) {
            LoadBannerPlacements(bundleGroup_.id, stored);
        } else {
            for (const std::string& id : ids) {
                LoadBannerPlacements(id, stored);
            }
        }
        bannerGroups_ = BannerIds(stored);
    }
}

// Writes the installed state of the loaded offer: the recorded resource descriptors of every
// installed component of the manifest, and, when the selected bundle names a bundle group, the
// group's texts, its members (the installed components either selected bundle reached), its
// banner placements and the wizard layout it names. 6 when no manifest was loaded, when the
// group's id cannot name a registry key, or when a write fails (the others are still made).
uint32_t VomoInstallImpl::CommitInstalledState() {
    if (!offersRead_) {
        return 6;
    }
    bool ok = true;
    for (const vmi::ComponentPtr& component : components_) {
        const std::string id = component->GetId();
        if (!component->IsInstalled()) {
            continue;
        }
        std::vector<std::string> refs;
        component->GetResourceRefs(refs);
        ok = vmds::WriteInstallString(id, "ResourceDescriptors", JoinList(refs)) && ok;
    }
    const std::string& groupId = bundleGroup_.id;
    if (groupId.empty()) {
        return ok ? 0 : 6;
    }
    if (!vmds::IsPlainKeyName(groupId)) {
        return 6;
    }
    ok = SaveBundleGroupInfo() && ok;
    std::set<std::string> added;
    for (const std::vector<std::string>* list : {&bundleIdList_, &idList_}) {
        for (const std::string& id : *list) {
            if (added.insert(id).second && Registry().IsComponentInstalled(id)) {
                ok = Registry().AddBundleGroupMember(groupId, id) == 0 && ok;
            }
        }
    }
    ok = SaveBannerPlacements(groupId, bannerGroupBanners_, StoredLanguage()) && ok;
    if (!wizardPageRules_.empty()) {
        std::vector<WizardPageRule> pages = wizardPageRules_;
        ok = Registry().SyncWizardLayout(pages) == 0 && ok;
    }
    return ok ? 0 : 6;
}
