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

// Component ids to their positions in the component list (the first component of an id).
typedef std::unordered_map<std::string, size_t> ComponentIndex;

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
        if (ref && ref->FirstChildElement()) {
            node_ = document_.InsertEndChild(*ref);
        }
    }
    const TiXmlNode* Node() const { return node_; }

private:
    TinyXPath::xpath_document document_;
    const TiXmlNode* node_ = nullptr;
};

// What one componentRef says, read once however many components it applies to. Without a
// node: a reference that says nothing.
struct Reference {
    Reference() : overrides(nullptr) {}
    explicit Reference(const TiXmlNode* ref) : overrides(ref) {
        std::string text;
        hasOrder =
            QueryAttribute(ref, "self::componentRef", "order", text) && ScanUnsigned(text, order);
        hasStream = QueryAttribute(ref, "self::componentRef", "stream", stream);
    }
    bool hasOrder = false;
    uint32_t order = 0;
    bool hasStream = false;
    std::string stream;
    IsolatedReference overrides;
};

class ReferenceApplier {
public:
    ReferenceApplier(const ComponentIndex& index, const vmi::ComponentList& components)
        : index_(index), components_(components), recorded_(components.size()) {
        impls_.reserve(components.size());
        for (const vmi::ComponentPtr& component : components) {
            impls_.push_back(dynamic_cast<ComponentImpl*>(component.get()));
        }
    }

    // Applies the references of `bundle` in document order; `reached` receives the ids of the
    // components they were applied to, in the order first reached. Every "AL" reference is
    // applied to every component, so a later one's order and overrides follow an earlier one's
    // as any other reference's would.
    //
    // "AL" references that give neither a stream nor overriding elements only set the order
    // and select each component's recorded stream, which a second selection of the same stream
    // does not change: a run of them, with no other reference between, does what its last
    // order does. Such a run is applied once, when another reference or the end comes, so that
    // a bundle of many of them costs one pass over the components, not one each.
    void Apply(const TiXmlNode* bundle, std::vector<std::string>& reached) {
        std::vector<const TiXmlNode*> refs;
        QueryNodes(bundle, "//componentRef", refs);
        std::set<std::string> seen;
        bool everyComponentReached = false;
        Reference pending;  // the run of plain "AL" references not applied yet
        bool anyPending = false;
        for (const TiXmlNode* ref : refs) {
            std::string id;
            if (IsNestedReference(ref, bundle) ||
                !QueryAttribute(ref, "self::componentRef", "id", id)) {
                continue;
            }
            const Reference reference(ref);
            const bool plainEvery =
                id == kEveryComponent && !reference.hasStream && !reference.overrides.Node();
            if (!plainEvery && anyPending) {
                ApplyToEvery(pending);
                anyPending = false;
                pending.hasOrder = false;
            }
            if (id == kEveryComponent) {
                if (plainEvery) {
                    anyPending = true;
                    if (reference.hasOrder) {
                        pending.hasOrder = true;
                        pending.order = reference.order;
                    }
                } else {
                    ApplyToEvery(reference);
                }
                if (!everyComponentReached) {
                    everyComponentReached = true;
                    for (const vmi::ComponentPtr& component : components_) {
                        Reached(component->GetId(), seen, reached);
                    }
                }
                continue;
            }
            const ComponentIndex::const_iterator found = index_.find(id);
            if (found != index_.end()) {
                ApplyOne(reference, found->second);
                Reached(id, seen, reached);
            }
        }
        if (anyPending) {
            ApplyToEvery(pending);
        }
    }

private:
    struct RecordedStream {
        bool read = false;
        std::string stream;  // empty when not installed or none is recorded
    };

    static void Reached(const std::string& id, std::set<std::string>& seen,
                        std::vector<std::string>& reached) {
        if (seen.insert(id).second) {
            reached.push_back(id);
        }
    }

    void ApplyToEvery(const Reference& reference) {
        for (size_t i = 0; i < impls_.size(); ++i) {
            ApplyOne(reference, i);
        }
    }

    void ApplyOne(const Reference& reference, size_t index) {
        ComponentImpl* component = impls_[index];
        if (!component) {
            return;
        }
        if (reference.hasOrder) {
            component->SetOrder(reference.order);
        }
        if (reference.hasStream) {
            component->SelectStream(reference.stream);
        } else {
            // The registry does not change while a manifest loads: each component's recorded
            // stream is read once, however many references reach it.
            RecordedStream& recorded = recorded_[index];
            if (!recorded.read) {
                recorded.read = true;
                if (component->IsInstalled()) {
                    vmds::ReadInstallString(component->GetId(), "StreamId", recorded.stream);
                }
            }
            if (!recorded.stream.empty()) {
                component->SelectStream(recorded.stream);
            }
        }
        if (reference.overrides.Node()) {
            component->ApplyReference(reference.overrides.Node());
        }
    }

    const ComponentIndex& index_;
    const vmi::ComponentList& components_;
    std::vector<ComponentImpl*> impls_;     // by position in components_
    std::vector<RecordedStream> recorded_;  // by position in components_
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
    for (size_t i = 0; i < components.size(); ++i) {
        if (dynamic_cast<ComponentImpl*>(components[i].get())) {
            index.insert(std::make_pair(components[i]->GetId(), i));  // the first of an id
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
