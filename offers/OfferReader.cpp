// The offer sections of the manifest other than bundles (BundleReader.cpp).
#include <algorithm>
#include <unordered_map>

#include <boost/make_shared.hpp>

#include "engine/ManifestQuery.h"
#include "offers/OfferSections.h"
#include "offers/OfferTexts.h"

namespace {

void ReadPlugins(const SectionNodes& sections, std::vector<PluginRecord>& plugins) {
    PluginTestIndex tests;
    for (const TiXmlNode* node : sections.pluginTests) {
        boost::shared_ptr<PluginTestRecord> test = boost::make_shared<PluginTestRecord>();
        ParsePluginTest(node, *test);
        tests.insert(std::make_pair(test->id, test));  // the first test of an id is kept
    }
    const std::vector<const TiXmlNode*>& nodes = sections.plugins;
    plugins.resize(nodes.size());
    for (std::vector<const TiXmlNode*>::size_type i = 0; i < nodes.size(); ++i) {
        ParsePlugin(nodes[i], plugins[i], tests);
    }
}

void ReadBanners(const SectionNodes& nodes, OfferSections& sections) {
    for (const TiXmlNode* node : nodes.banners) {
        sections.banners.push_back(CreateBanner(node));
    }
    for (const TiXmlNode* node : nodes.messages) {
        sections.messages.push_back(CreateMessage(node));
    }
}

void ReadWizardLayout(const SectionNodes& nodes, OfferSections& sections) {
    const std::string& wanted = sections.group.wizardLayoutId;
    if (wanted.empty()) {
        return;
    }
    for (const TiXmlNode* layout : nodes.wizardLayouts) {
        std::string id;
        if (QueryAttribute(layout, "self::wizardLayout", "id", id) && id == wanted) {
            ReadWizardPages(layout, "page", sections.wizardPageRules);
            return;
        }
    }
}

void ReadBannerGroups(const SectionNodes& nodes, OfferSections& sections) {
    std::unordered_map<std::string, BannerPtr> byId;
    for (const BannerPtr& banner : sections.banners) {
        std::string id;
        banner->GetId(id);
        byId.insert(std::make_pair(id, banner));  // the first banner of an id is reached
    }
    for (const TiXmlNode* group : nodes.bannerGroups) {
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

void FindSectionNodes(const TiXmlNode* root, SectionNodes& nodes) {
    struct Section {
        const char* section;
        const char* item;
        std::vector<const TiXmlNode*> SectionNodes::*list;
    };
    static const Section kSections[] = {
        {"pluginTestDefinitions", "pluginTest", &SectionNodes::pluginTests},
        {"pluginDefinitions", "plugin", &SectionNodes::plugins},
        {"bannerDefinitions", "banner", &SectionNodes::banners},
        {"messageDefinitions", "message", &SectionNodes::messages},
        {"bundleDefinitions", "bundle", &SectionNodes::bundles},
        {"bundleGroups", "bundleGroup", &SectionNodes::bundleGroups},
        {"wizardLayoutDefinitions", "wizardLayout", &SectionNodes::wizardLayouts},
        {"bannerGroups", "bannerGroup", &SectionNodes::bannerGroups},
    };
    static const std::unordered_map<std::string, const Section*> kBySection = [] {
        std::unordered_map<std::string, const Section*> map;
        for (const Section& section : kSections) {
            map[section.section] = &section;
        }
        return map;
    }();
    if (!root || !root->ToElement()) {
        return;
    }
    // Elements in document order (pre-order), each with the section its parent opens, if any.
    std::vector<std::pair<const TiXmlElement*, const Section*>> stack = {
        {root->ToElement(), nullptr}};
    while (!stack.empty()) {
        const TiXmlElement* element = stack.back().first;
        const Section* parentSection = stack.back().second;
        stack.pop_back();
        if (parentSection && element->ValueStr() == parentSection->item) {
            (nodes.*(parentSection->list)).push_back(element);
        }
        const auto opened = kBySection.find(element->ValueStr());
        const Section* section = opened == kBySection.end() ? nullptr : opened->second;
        const std::size_t first = stack.size();
        for (const TiXmlElement* child = element->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            stack.emplace_back(child, section);
        }
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    }
}

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
    SectionNodes nodes;
    FindSectionNodes(root, nodes);
    std::vector<PluginRecord> plugins;
    ReadPlugins(nodes, plugins);
    ReadBanners(nodes, sections);
    ReadBundles(nodes, components, bundleName, secondBundleName, plugins, sections);
    ReadWizardLayout(nodes, sections);
    ReadBannerGroups(nodes, sections);
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
