// The offer sections of the manifest other than bundles (BundleReader.cpp).
#include <unordered_map>

#include <boost/make_shared.hpp>

#include "engine/ManifestQuery.h"
#include "offers/OfferSections.h"
#include "offers/OfferTexts.h"

namespace {

void ReadPlugins(const TiXmlNode* root, std::vector<PluginRecord>& plugins) {
    std::vector<const TiXmlNode*> nodes;
    PluginTestIndex tests;
    QueryNodes(root, "//pluginTestDefinitions/pluginTest", nodes);
    for (const TiXmlNode* node : nodes) {
        boost::shared_ptr<PluginTestRecord> test = boost::make_shared<PluginTestRecord>();
        ParsePluginTest(node, *test);
        tests.insert(std::make_pair(test->id, test));  // the first test of an id is kept
    }
    QueryNodes(root, "//pluginDefinitions/plugin", nodes);
    plugins.resize(nodes.size());
    for (std::vector<const TiXmlNode*>::size_type i = 0; i < nodes.size(); ++i) {
        ParsePlugin(nodes[i], plugins[i], tests);
    }
}

void ReadBanners(const TiXmlNode* root, OfferSections& sections) {
    std::vector<const TiXmlNode*> nodes;
    QueryNodes(root, "//bannerDefinitions/banner", nodes);
    for (const TiXmlNode* node : nodes) {
        sections.banners.push_back(CreateBanner(node));
    }
    QueryNodes(root, "//messageDefinitions/message", nodes);
    for (const TiXmlNode* node : nodes) {
        sections.messages.push_back(CreateMessage(node));
    }
}

void ReadWizardLayout(const TiXmlNode* root, OfferSections& sections) {
    const std::string& wanted = sections.group.wizardLayoutId;
    if (wanted.empty()) {
        return;
    }
    std::vector<const TiXmlNode*> layouts;
    QueryNodes(root, "//wizardLayoutDefinitions/wizardLayout", layouts);
    for (const TiXmlNode* layout : layouts) {
        std::string id;
        if (QueryAttribute(layout, "self::wizardLayout", "id", id) && id == wanted) {
            ReadWizardPages(layout, "page", sections.wizardPageRules);
            return;
        }
    }
}

void ReadBannerGroups(const TiXmlNode* root, OfferSections& sections) {
    std::unordered_map<std::string, BannerPtr> byId;
    for (const BannerPtr& banner : sections.banners) {
        std::string id;
        banner->GetId(id);
        byId.insert(std::make_pair(id, banner));  // the first banner of an id is reached
    }
    std::vector<const TiXmlNode*> groups;
    QueryNodes(root, "//bannerGroups/bannerGroup", groups);
    for (const TiXmlNode* group : groups) {
        std::string distributor;
        QueryAttribute(group, "self::bannerGroup", "distributorId", distributor);
        if (sections.bannerGroups.count(distributor)) {
            continue;  // a later group of the same distributor is ignored
        }
        std::vector<BannerPtr>& list = sections.bannerGroups[distributor];
        std::vector<const TiXmlNode*> refs;
        QueryNodes(group, "//bannerRef", refs);
        for (const TiXmlNode* ref : refs) {
            std::string id;
            if (!QueryAttribute(ref, "self::bannerRef", "id", id)) {
                continue;
            }
            const std::unordered_map<std::string, BannerPtr>::const_iterator banner = byId.find(id);
            if (banner != byId.end()) {
                list.push_back(banner->second);
            }
        }
    }
}

}  // namespace

void ReadLicenceTexts(const TiXmlNode* root, OfferSections& sections) {
    std::vector<const TiXmlNode*> nodes;
    QueryNodes(root, "//eulaDefinitions/eula", nodes);
    for (const TiXmlNode* node : nodes) {
        sections.eulas.push_back(CreateEula(node));
    }
}

void ReadOfferSections(const TiXmlNode* root, const vmi::ComponentList& components,
                       const std::string& bundleName, const std::string& secondBundleName,
                       OfferSections& sections) {
    std::vector<PluginRecord> plugins;
    ReadPlugins(root, plugins);
    ReadBanners(root, sections);
    ReadBundles(root, components, bundleName, secondBundleName, plugins, sections);
    ReadWizardLayout(root, sections);
    ReadBannerGroups(root, sections);
}

void ReadWizardPages(const TiXmlNode* layout, const std::string& pagesPath,
                     std::vector<WizardPageRule>& rules) {
    std::vector<const TiXmlNode*> pages;
    QueryNodes(layout, pagesPath, pages);
    for (const TiXmlNode* page : pages) {
        WizardPageRule rule;
        QueryAttribute(page, "self::page", "id", rule.pageId);
        QueryText(page, "//rule", rule.ruleToApply);
        QueryText(page, "//insertAfter", rule.insertAfterId);
        rules.push_back(rule);
    }
}
