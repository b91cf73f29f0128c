// The bundle section of the manifest: selecting bundles, applying their component references,
// reading the selected bundle's flags and plug-ins and its bundle group.
#include <set>
#include <unordered_map>

#include "engine/ComponentImpl.h"
#include "engine/ManifestQuery.h"
#include "engine/TextScan.h"
#include "engine/TinyXPath.h"
#include "offers/OfferSections.h"
#include "settings/SettingsAccessors.h"

namespace {

const char kEveryComponent[] = "AL";

typedef std::unordered_map<std::string, ComponentImpl*> ComponentIndex;

// The first bundle whose "id" equals `name`; null for an empty name or none.
const TiXmlNode* FindBundle(const std::vector<const TiXmlNode*>& bundles, const std::string& name) {
    if (name.empty()) {
        return nullptr;
    }
    for (const TiXmlNode* bundle : bundles) {
        std::string id;
        if (QueryAttribute(bundle, "self::bundle", "id", id) && id == name) {
            return bundle;
        }
    }
    return nullptr;
}

// True when `ref` lies inside another componentRef below `bundle`.
bool IsNestedReference(const TiXmlNode* ref, const TiXmlNode* bundle) {
    for (const TiXmlNode* up = ref->Parent(); up && up != bundle; up = up->Parent()) {
        if (up->ValueStr() == "componentRef") {
            return true;
        }
    }
    return false;
}

// A copy of a reference element as the only element of a document of its own: the component
// parser's "//" queries at the copy reach what lies inside the reference and nothing that stands
// beside it in the bundle (a bundle's own nameGroup, say, would otherwise rename every
// component it references with overriding elements). Only references with child elements are
// copied; the others give nothing to parse.
class IsolatedReference {
public:
    explicit IsolatedReference(const TiXmlNode* ref) {
        if (ref->FirstChildElement()) {
            node_ = document_.InsertEndChild(*ref);
        }
    }
    const TiXmlNode* Node() const { return node_; }

private:
    TinyXPath::xpath_document document_;
    const TiXmlNode* node_ = nullptr;
};

class ReferenceApplier {
public:
    ReferenceApplier(const ComponentIndex& index, const vmi::ComponentList& components)
        : index_(index), components_(components) {}

    // Applies the references of `bundle`; `reached` receives the ids of the components they
    // were applied to, in the order first reached.
    void Apply(const TiXmlNode* bundle, std::vector<std::string>& reached) {
        std::vector<const TiXmlNode*> refs;
        QueryNodes(bundle, "//componentRef", refs);
        std::set<std::string> seen;
        bool everyComponentDone = false;
        for (const TiXmlNode* ref : refs) {
            std::string id;
            if (IsNestedReference(ref, bundle) ||
                !QueryAttribute(ref, "self::componentRef", "id", id)) {
                continue;
            }
            if (id == kEveryComponent) {
                if (everyComponentDone) {
                    continue;
                }
                everyComponentDone = true;
                const IsolatedReference overrides(ref);
                for (const vmi::ComponentPtr& component : components_) {
                    ApplyOne(ref, overrides, dynamic_cast<ComponentImpl*>(component.get()), seen,
                             reached);
                }
                continue;
            }
            const ComponentIndex::const_iterator found = index_.find(id);
            if (found != index_.end()) {
                ApplyOne(ref, IsolatedReference(ref), found->second, seen, reached);
            }
        }
    }

private:
    static void ApplyOne(const TiXmlNode* ref, const IsolatedReference& overrides,
                         ComponentImpl* component, std::set<std::string>& seen,
                         std::vector<std::string>& reached) {
        if (!component) {
            return;
        }
        std::string text;
        uint32_t order = 0;
        if (QueryAttribute(ref, "self::componentRef", "order", text) && ScanUnsigned(text, order)) {
            component->SetOrder(order);
        }
        const std::string id = component->GetId();
        if (QueryAttribute(ref, "self::componentRef", "stream", text)) {
            component->SelectStream(text);
        } else if (component->IsInstalled() && vmds::ReadInstallString(id, "StreamId", text)) {
            component->SelectStream(text);
        }
        component->ApplyReference(overrides.Node());
        if (seen.insert(id).second) {
            reached.push_back(id);
        }
    }

    const ComponentIndex& index_;
    const vmi::ComponentList& components_;
};

void ReadBundleFlagsAndPlugins(const TiXmlNode* bundle, const std::vector<PluginRecord>& plugins,
                               OfferSections& sections) {
    std::string text;
    sections.isolated = QueryAttribute(bundle, "self::bundle", "isolated", text) && !text.empty();
    bool flag = false;
    QueryBool(bundle, "//prohibitAutoUpdate", flag);
    sections.autoUpdateProhibited = flag;

    std::unordered_map<std::string, std::vector<const PluginRecord*>> byId;
    for (const PluginRecord& plugin : plugins) {
        byId[plugin.id].push_back(&plugin);
    }
    std::vector<std::string> ids;
    QueryAttributeList(bundle, "//pluginRef", "id", ids);
    std::set<std::string> seen;
    for (const std::string& id : ids) {
        if (!seen.insert(id).second) {
            continue;
        }
        for (const PluginRecord* plugin : byId[id]) {
            sections.bundlePlugins.push_back(*plugin);
        }
    }
    SortBundlePlugins(sections.bundlePlugins);
}

void ReadBundleGroup(const std::vector<const TiXmlNode*>& nodes, const std::string& groupId,
                     OfferSections& sections) {
    BundleGroupRecord& group = sections.group;
    group.id = groupId;
    const TiXmlNode* node = nullptr;
    for (const TiXmlNode* candidate : nodes) {
        std::string id;
        if (QueryAttribute(candidate, "self::bundleGroup", "id", id) && id == groupId) {
            node = candidate;
            break;
        }
    }
    if (!node) {
        return;
    }
    boost::shared_ptr<vmi::IMultiLangString> text;
    if (QueryMultiLangString(node, "//descriptionGroup/heading", text)) {
        group.heading = text;
    }
    if (QueryMultiLangString(node, "//descriptionGroup/description", text)) {
        group.description = text;
    }
    if (QueryMultiLangString(node, "//uninstallerNameGroup/name", text)) {
        group.uninstallerName = text;
    }
    QueryAttributeList(node, "//eulaRef", "id", group.eulaIds);
    QueryAttributeList(node, "//componentRef", "id", group.componentIds);
    QueryText(node, "//postInstallUrl", group.postInstallUrl);
    QueryAttribute(node, "//wizardLayoutRef", "id", group.wizardLayoutId);

    std::unordered_map<std::string, boost::shared_ptr<vmi::IEula>> eulas;
    for (const boost::shared_ptr<vmi::IEula>& eula : sections.eulas) {
        std::string id;
        eula->GetId(id);
        eulas.insert(std::make_pair(id, eula));  // the first licence text of an id
    }
    for (const std::string& id : group.eulaIds) {
        const auto found = eulas.find(id);
        if (found != eulas.end()) {
            group.eulas.push_back(found->second);
        }
    }
}

}  // namespace

void ReadBundles(const SectionNodes& nodes, const vmi::ComponentList& components,
                 const std::string& bundleName, const std::string& secondBundleName,
                 const std::vector<PluginRecord>& plugins, OfferSections& sections) {
    const std::vector<const TiXmlNode*>& bundles = nodes.bundles;
    const TiXmlNode* second = FindBundle(bundles, secondBundleName);
    const TiXmlNode* selected = FindBundle(bundles, bundleName);
    if (!second && !selected) {
        return;
    }

    ComponentIndex index;
    for (const vmi::ComponentPtr& component : components) {
        ComponentImpl* impl = dynamic_cast<ComponentImpl*>(component.get());
        if (impl) {
            index.insert(std::make_pair(impl->GetId(), impl));  // the first of an id
        }
    }
    ReferenceApplier applier(index, components);
    if (second) {
        applier.Apply(second, sections.secondBundleIds);
    }
    if (!selected) {
        return;
    }
    applier.Apply(selected, sections.bundleIds);
    ReadBundleFlagsAndPlugins(selected, plugins, sections);
    std::string groupId;
    if (QueryAttribute(selected, "self::bundle", "bundleGroup", groupId) && !groupId.empty()) {
        ReadBundleGroup(nodes.bundleGroups, groupId, sections);
    }

    const std::set<std::string> offered(sections.bundleIds.begin(), sections.bundleIds.end());
    const std::set<std::string> hostOwn(sections.secondBundleIds.begin(),
                                        sections.secondBundleIds.end());
    for (const vmi::ComponentPtr& component : components) {
        const std::string id = component->GetId();
        if (offered.count(id) && !hostOwn.count(id)) {
            sections.offerComponents.push_back(component);
        }
    }
}
