// The offer sections of one manifest, as the manifest load reads them: licence texts, plug-in
// tests and plug-ins, banners and messages, the selected bundles, the bundle group of the
// selected bundle, its wizard layout, and the banner groups. The sections are read into an
// OfferSections aside and handed to the engine only once the whole manifest was read.
//
// Every section tolerates absent elements and attributes, unknown references and duplicate ids
// (the first definition of an id is the one references reach); nothing in a section fails the
// load. The work is linear in the manifest: lookups by id go through indexes built once.
//
// Bundles. The bundle named by the second name (when not empty) and then the bundle named by
// the download tag are selected: each is the first `bundle` whose "id" equals the name exactly.
// Each selected bundle's componentRef elements are applied, in document order, to the
// components: "order" sets the install order, "stream" selects a stream (without one, an
// installed component's recorded stream is selected), and the elements given inside the
// reference (and only those: not what stands beside it in the bundle) replace the component's
// values. The id "AL" stands for every component; each "AL" reference is applied to every
// component in its turn, like any other reference (what a reference says is read once, and each
// component's recorded stream once, so a reference costs little per component). A componentRef
// nested inside another one (a dependency given in its overriding elements) is part of that
// override, not a reference of the bundle.
// Only the bundle of the download tag gives the flags, the plug-ins and the bundle group.
//
// Offer components: the components, in component-list order, that the download tag's bundle
// reached and the second bundle did not (the second bundle names what the host installs
// anyway; the rest of the offer is proposed beside it).
#pragma once

#include <map>
#include <string>
#include <vector>

#include <tinyxml.h>
#include <boost/shared_ptr.hpp>

#include "engine/IComponent.h"
#include "offers/BundleGroupRecord.h"
#include "offers/IBanner.h"
#include "offers/IEula.h"
#include "offers/IMessage.h"
#include "offers/PluginRecord.h"
#include "registry/WizardPageRule.h"

typedef boost::shared_ptr<vmi::IBanner> BannerPtr;
// Banners by distributor id; the empty id holds the default group.
typedef std::map<std::string, std::vector<BannerPtr>> BannerGroups;

struct OfferSections {
    std::vector<boost::shared_ptr<vmi::IEula>> eulas;
    std::vector<BannerPtr> banners;
    std::vector<boost::shared_ptr<vmi::IMessage>> messages;
    // The ids of the components each selected bundle's references reached, in the order first
    // reached, each once.
    std::vector<std::string> secondBundleIds;
    std::vector<std::string> bundleIds;
    bool isolated = false;              // the bundle's "isolated" attribute is not empty
    bool autoUpdateProhibited = false;  // the bundle's prohibitAutoUpdate is "true" or "1"
    // The plug-ins the bundle's pluginRef elements name (every plug-in of a named id, each id
    // once), in the order of SortBundlePlugins.
    std::vector<PluginRecord> bundlePlugins;
    // The group the bundle names; an empty id when it names none. A group id whose bundleGroup
    // element is missing keeps the id with nothing else.
    BundleGroupRecord group;
    // The pages of the layout the group names with its wizardLayoutRef.
    std::vector<WizardPageRule> wizardPageRules;
    // The first banner group of each distributor id, with the banners its bannerRef elements
    // name (references to unknown banners are skipped).
    BannerGroups bannerGroups;
    vmi::ComponentList offerComponents;
};

// The licence texts ("//eulaDefinitions/eula"), in document order.
void ReadLicenceTexts(const TiXmlNode* root, OfferSections& sections);

// Everything else, in this order: plug-in tests and plug-ins, banners and messages, bundles,
// the bundle group, the wizard layout, banner groups. `components` are the manifest's
// components that passed the platform filter; the bundles' references change them.
void ReadOfferSections(const TiXmlNode* root, const vmi::ComponentList& components,
                       const std::string& bundleName, const std::string& secondBundleName,
                       OfferSections& sections);

// One placement per node of `pagesPath` below `layout`, in document order: the page's "id",
// the text of its "//rule" and of its "//insertAfter" (empty when absent). Appended to `rules`.
void ReadWizardPages(const TiXmlNode* layout, const std::string& pagesPath,
                     std::vector<WizardPageRule>& rules);

// The definition elements of the offer sections, each list in document order: what
// "//pluginTestDefinitions/pluginTest", "//pluginDefinitions/plugin",
// "//bannerDefinitions/banner", "//messageDefinitions/message", "//bundleDefinitions/bundle",
// "//bundleGroups/bundleGroup", "//wizardLayoutDefinitions/wizardLayout" and
// "//bannerGroups/bannerGroup" select at the root element (the elements of that name whose
// parent bears the section's name, anywhere in the document). They are found in one walk of
// the document rather than one walk per section, which keeps the sections' share of the load
// small next to the components.
struct SectionNodes {
    std::vector<const TiXmlNode*> pluginTests;
    std::vector<const TiXmlNode*> plugins;
    std::vector<const TiXmlNode*> banners;
    std::vector<const TiXmlNode*> messages;
    std::vector<const TiXmlNode*> bundles;
    std::vector<const TiXmlNode*> bundleGroups;
    std::vector<const TiXmlNode*> wizardLayouts;
    std::vector<const TiXmlNode*> bannerGroups;
};
void FindSectionNodes(const TiXmlNode* root, SectionNodes& nodes);

// Applies the bundles to the components and reads the selected bundle and its group (the part
// of ReadOfferSections that concerns bundles). `plugins` are all plug-ins of the manifest.
void ReadBundles(const SectionNodes& nodes, const vmi::ComponentList& components,
                 const std::string& bundleName, const std::string& secondBundleName,
                 const std::vector<PluginRecord>& plugins, OfferSections& sections);
