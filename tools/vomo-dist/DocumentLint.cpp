// The checks of the manifest document itself: the manifest element, ids, references,
// dependencies, versions, rollouts and package elements. Every element is found with the
// queries the component manager reads the manifest with, so that what is checked is what
// clients see.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "api/Url.h"
#include "engine/ComponentRecord.h"
#include "engine/ManifestQuery.h"
#include "engine/Rollout.h"
#include "engine/UtcTime.h"
#include "engine/Version.h"
#include "platform/Clock.h"
#include "tools/vomo-dist/LintChecks.h"

namespace {

typedef std::vector<const TiXmlNode*> Nodes;

const LintFinding::Severity kError = LintFinding::kError;
const LintFinding::Severity kWarning = LintFinding::kWarning;

// The definition sections: where their elements are, and what a missing id means.
struct Section {
    const char* kind;  // as findings name it
    const char* query;
    const char* self;
    LintFinding::Severity missingId;  // severity of an element without an id
    bool idRequired;
};

const Section kSections[] = {
    {"component", "//componentDefinitions/component", "self::component", kError, true},
    {"bundle", "//bundleDefinitions/bundle", "self::bundle", kWarning, true},
    {"bundle group", "//bundleGroups/bundleGroup", "self::bundleGroup", kWarning, true},
    {"plug-in", "//pluginDefinitions/plugin", "self::plugin", kWarning, true},
    {"plug-in test", "//pluginTestDefinitions/pluginTest", "self::pluginTest", kWarning, true},
    {"banner", "//bannerDefinitions/banner", "self::banner", kWarning, true},
    {"message", "//messageDefinitions/message", "self::message", kWarning, true},
    {"licence text", "//eulaDefinitions/eula", "self::eula", kWarning, true},
    {"wizard layout", "//wizardLayoutDefinitions/wizardLayout", "self::wizardLayout", kWarning,
     true},
    {"resource", "//resourceDefinitions/resource", "self::resource", kWarning, true},
    {"hot fix", "//hotfixDefinitions/hotfix", "self::hotfix", kWarning, false},
};

// A reference from one section's elements to another's ids.
struct Reference {
    const char* from;  // the referring section's kind
    const char* path;  // below the referring element
    const char* to;    // the kind of the section referred to
    LintFinding::Severity severity;
    const char* consequence;
};

const Reference kReferences[] = {
    {"component", "//dependencies/componentRef", "component", kError, "installing it fails"},
    {"component", "//optionalDependencies/componentRef", "component", kWarning, "ignored"},
    {"component", "//dynamicDependencies/componentRef", "component", kWarning, "ignored"},
    {"component", "//resourceRef", "resource", kWarning, "ignored"},
    {"component", "//messageRef", "message", kWarning, "ignored"},
    {"bundle", "//componentRef", "component", kWarning, "ignored"},
    {"bundle", "//pluginRef", "plug-in", kWarning, "ignored"},
    {"bundle group", "//eulaRef", "licence text", kWarning, "ignored"},
    {"bundle group", "//componentRef", "component", kWarning, "ignored"},
    {"bundle group", "//wizardLayoutRef", "wizard layout", kWarning, "no layout is read"},
    {"plug-in", "//pluginTestRef", "plug-in test", kWarning, "ignored"},
    {"plug-in test", "//testPlugin//pluginRef", "plug-in", kWarning, "ignored"},
};

// The elements that own a package element, and how findings name them.
const struct {
    const char* element;
    const char* name;
    bool complete;  // whether its package must say all (a stream or a reference may change part)
} kPackageOwners[] = {
    {"component", "component", true},
    {"stream", "stream", false},
    {"hotfix", "hot fix", true},
    {"plugin", "plug-in", true},
    {"componentRef", "component reference", false},
};

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

bool IsHexDigest(const std::string& text) {
    if (text.size() != 64) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

// The first child element of `node` named `name`, or null.
const TiXmlElement* Child(const TiXmlNode* node, const char* name) {
    return node ? node->FirstChildElement(name) : nullptr;
}

class DocumentLint {
public:
    DocumentLint(const TiXmlElement* root, std::vector<LintFinding>& findings,
                 std::vector<LintPackage>& packages)
        : root_(root), findings_(findings), packages_(packages) {}

    void Run() {
        CheckManifestElement();
        for (const Section& section : kSections) {
            CollectIds(section);
        }
        for (const Reference& reference : kReferences) {
            CheckReferences(reference);
        }
        CheckBundleGroupsNamed();
        CheckBannerGroups();
        CheckComponents();
        CheckCycles();
        CheckHotFixes();
        CheckLicenceTexts();
        WalkPackages(root_);
    }

private:
    void Add(const TiXmlNode* node, LintFinding::Severity severity, const std::string& text) {
        AddFinding(findings_, node, severity, text);
    }

    void CheckManifestElement() {
        if (root_->ValueStr() != "manifest") {
            Add(root_, kError,
                "the document element is " + Quoted(root_->ValueStr()) +
                    ", not \"manifest\": clients read no manifest version or expiry");
        }
        std::string text;
        if (!QueryAttribute(root_, "//manifest", "version", text)) {
            Add(root_, kWarning,
                "no manifest version: clients cannot tell this manifest from an older one, and "
                "a release cannot be withdrawn by a newer one");
        } else if (!Version().Parse(text)) {
            Add(root_, kError,
                "manifest version " + Quoted(text) +
                    " is not a version (four numbers, as 1.0.0.0): clients cannot tell this "
                    "manifest from an older one");
        }
        if (QueryAttribute(root_, "//manifest", "expires", text)) {
            int64_t expiry = 0;
            if (!ParseUtcTime(text, expiry)) {
                Add(root_, kError,
                    "expires " + Quoted(text) +
                        " is not a UTC date and time (ISO 8601, as 2025-07-01T12:00:00Z): "
                        "clients refuse the manifest");
            } else if (platform::CurrentTime() >= expiry) {
                Add(root_, kError,
                    "the manifest expired on " + FormatUtcTime(expiry) + ": clients refuse it");
            }
        }
    }

    // Duplicate and missing ids of one section; the first element of each id is kept.
    void CollectIds(const Section& section) {
        Nodes nodes;
        QueryNodes(root_, section.query, nodes);
        std::map<std::string, const TiXmlNode*>& ids = ids_[section.kind];
        for (const TiXmlNode* node : nodes) {
            std::string id;
            if (!QueryAttribute(node, section.self, "id", id) || id.empty()) {
                if (section.idRequired) {
                    Add(node, section.missingId,
                        std::string("a ") + section.kind + " without an id" +
                            (section.missingId == kError ? ": clients cannot ask for it"
                                                         : ": nothing can refer to it"));
                }
                continue;
            }
            if (std::string(section.kind) == "component") {
                CheckComponentId(node, id);
            }
            const auto first = ids.find(id);
            if (first != ids.end()) {
                Add(node, kError,
                    std::string("duplicate ") + section.kind + " id " + Quoted(id) +
                        " (first at line " + std::to_string(first->second->Row()) +
                        "): clients only see the first");
                continue;
            }
            ids[id] = node;
        }
    }

    // What the exports and the registry make of a component id: ";" separates ids in a host's
    // request, "\" and "/" separate registry keys, and the registry ignores case.
    void CheckComponentId(const TiXmlNode* node, const std::string& id) {
        if (id.find_first_of(";\\/") != std::string::npos) {
            Add(node, kError,
                "component id " + Quoted(id) +
                    " holds \";\", \"\\\" or \"/\": hosts cannot ask for it, or its install "
                    "is never recorded");
        }
        std::string folded = id;
        for (char& c : folded) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        const auto first = folded_.find(folded);
        if (first == folded_.end()) {
            folded_[folded] = std::make_pair(id, node);
        } else if (first->second.first != id) {
            Add(node, kError,
                "component id " + Quoted(id) + " differs from " + Quoted(first->second.first) +
                    " (line " + std::to_string(first->second.second->Row()) +
                    ") only in case: both are recorded under one registry key");
        }
    }

    bool Known(const std::string& kind, const std::string& id) { return ids_[kind].count(id) != 0; }

    void CheckReferences(const Reference& reference) {
        for (const auto& owner : ids_[reference.from]) {
            Nodes refs;
            QueryNodes(owner.second, reference.path, refs);
            for (const TiXmlNode* ref : refs) {
                const TiXmlElement* element = ref->ToElement();
                const std::string* id = element ? element->Attribute(std::string("id")) : nullptr;
                if (!id || id->empty() || Known(reference.to, *id) ||
                    (std::string(reference.from) == "bundle" && *id == "AL")) {
                    continue;
                }
                Add(ref, reference.severity,
                    std::string(reference.from) + " " + Quoted(owner.first) + " refers to " +
                        reference.to + " " + Quoted(*id) +
                        ", which the manifest does not have: " + reference.consequence);
            }
        }
    }

    void CheckBundleGroupsNamed() {
        for (const auto& bundle : ids_["bundle"]) {
            std::string group;
            if (QueryAttribute(bundle.second, "self::bundle", "bundleGroup", group) &&
                !group.empty() && !Known("bundle group", group)) {
                Add(bundle.second, kWarning,
                    "bundle " + Quoted(bundle.first) + " names bundle group " + Quoted(group) +
                        ", which the manifest does not have: its texts are empty");
            }
        }
    }

    void CheckBannerGroups() {
        Nodes groups;
        QueryNodes(root_, "//bannerGroups/bannerGroup", groups);
        for (const TiXmlNode* group : groups) {
            Nodes refs;
            QueryNodes(group, "//bannerRef", refs);
            for (const TiXmlNode* ref : refs) {
                std::string id;
                if (QueryAttribute(ref, "self::bannerRef", "id", id) && !Known("banner", id)) {
                    Add(ref, kWarning,
                        "banner group refers to banner " + Quoted(id) +
                            ", which the manifest does not have: ignored");
                }
            }
        }
    }

    // A latestVersion element of a component or a stream, with its rollout.
    void CheckLatestVersion(const TiXmlNode* owner, const std::string& what) {
        const TiXmlElement* latest = Child(owner, "latestVersion");
        if (!latest) {
            return;
        }
        std::string text;
        QueryText(owner, "latestVersion", text);
        if (!text.empty() && !Version().Parse(text)) {
            Add(latest, kError,
                what + ": latestVersion " + Quoted(text) +
                    " is not a version (four numbers, as 1.0.0.0): it is never offered as an "
                    "update");
        }
        std::string percent;
        uint32_t value = 0;
        if (QueryAttribute(owner, "latestVersion", "rollout", percent) &&
            !ParseRolloutPercent(percent, value)) {
            Add(latest, kError,
                what + ": rollout " + Quoted(percent) +
                    " is not a percentage from 0 to 100: clients pause the release");
        }
    }

    void CheckComponents() {
        for (const auto& component : ids_["component"]) {
            const std::string what = "component " + Quoted(component.first);
            CheckLatestVersion(component.second, what);
            Nodes streams;
            QueryNodes(component.second, "//streams/stream", streams);
            for (const TiXmlNode* stream : streams) {
                std::string id;
                QueryAttribute(stream, "self::stream", "id", id);
                CheckLatestVersion(stream, "stream " + Quoted(id) + " of " + what);
            }
            std::vector<std::string> dependencies;
            QueryAttributeList(component.second, "//dependencies/componentRef", "id", dependencies);
            dependencies_[component.first] = dependencies;
        }
    }

    // Each dependency cycle once, at the line of its first component in document order.
    void CheckCycles() {
        std::map<std::string, int> state;  // 0 unvisited, 1 on the path, 2 done
        std::vector<std::string> path;
        std::set<std::set<std::string>> reported;
        std::function<void(const std::string&)> visit = [&](const std::string& id) {
            state[id] = 1;
            path.push_back(id);
            for (const std::string& next : dependencies_[id]) {
                if (!Known("component", next)) {
                    continue;  // reported as a missing id
                }
                if (state[next] == 1) {
                    std::vector<std::string> cycle(std::find(path.begin(), path.end(), next),
                                                   path.end());
                    const std::set<std::string> members(cycle.begin(), cycle.end());
                    if (reported.insert(members).second) {
                        ReportCycle(cycle);
                    }
                } else if (state[next] == 0) {
                    visit(next);
                }
            }
            path.pop_back();
            state[id] = 2;
        };
        for (const auto& component : ids_["component"]) {
            if (state[component.first] == 0) {
                visit(component.first);
            }
        }
    }

    void ReportCycle(const std::vector<std::string>& cycle) {
        const TiXmlNode* first = nullptr;
        std::string text;
        for (const std::string& id : cycle) {
            const TiXmlNode* node = ids_["component"][id];
            if (!first || node->Row() < first->Row()) {
                first = node;
            }
            text += id + " -> ";
        }
        Add(first, kError,
            "dependency cycle " + text + cycle.front() + ": installing any of them fails");
    }

    void CheckHotFixes() {
        Nodes nodes;
        QueryNodes(root_, "//hotfixDefinitions/hotfix", nodes);
        for (const TiXmlNode* node : nodes) {
            std::string id, component, version;
            QueryAttribute(node, "self::hotfix", "id", id);
            const std::string what = "hot fix" + (id.empty() ? std::string() : " " + Quoted(id));
            if (!QueryText(node, "componentId", component) || component.empty()) {
                Add(node, kError, what + " names no componentId: it never applies");
            } else if (!Known("component", component)) {
                Add(Child(node, "componentId"), kWarning,
                    what + " is for component " + Quoted(component) +
                        ", which the manifest does not have");
            }
            if (!QueryText(node, "version", version)) {
                Add(node, kError, what + " has no version: it never applies");
            } else if (!Version().Parse(version)) {
                Add(Child(node, "version"), kError,
                    what + ": version " + Quoted(version) +
                        " is not a version (four numbers, as 1.0.0.0): it compares as 0.0.0.0");
            }
        }
    }

    void CheckLicenceTexts() {
        for (const auto& eula : ids_["licence text"]) {
            std::string version;
            if (QueryText(eula.second, "//version", version) && !Version().Parse(version)) {
                Add(eula.second, kWarning,
                    "licence text " + Quoted(eula.first) + ": version " + Quoted(version) +
                        " is not a version (four numbers, as 1.0.0.0)");
            }
        }
    }

    // Every package element of the document, wherever it stands.
    void WalkPackages(const TiXmlElement* element) {
        for (const TiXmlElement* child = element->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (child->ValueStr() == "package") {
                CheckPackage(child);
            } else {
                WalkPackages(child);
            }
        }
    }

    // The nearest element that owns `package`, and whether the package must be complete
    // there (a stream's or a reference's package may give only what it changes).
    std::string OwnerOf(const TiXmlElement* package, bool& complete) {
        complete = false;
        for (const TiXmlNode* up = package->Parent(); up && up->ToElement(); up = up->Parent()) {
            const std::string name = up->ValueStr();
            for (const auto& owner : kPackageOwners) {
                if (name == owner.element) {
                    const std::string* id = up->ToElement()->Attribute(std::string("id"));
                    complete = owner.complete;
                    return owner.name + (id ? " " + Quoted(*id) : std::string());
                }
            }
        }
        return "package";
    }

    void CheckPackage(const TiXmlElement* package) {
        bool complete = false;
        const std::string owner = OwnerOf(package, complete);
        LintPackage entry;
        entry.line = package->Row();
        entry.owner = owner;
        std::string type;
        const bool typed = QueryText(package, "type", type);
        if (!typed && complete) {
            Add(package, kError, owner + ": package without a type: nothing can install it");
        } else if (typed && PackageTypeFromText(type) != kPackageNsis) {
            Add(Child(package, "type"), kWarning,
                owner + ": package type " + Quoted(type) +
                    " is not \"nsis\": installing it fails, only nsis packages are run");
        }
        const bool addressed = QueryText(package, "url", entry.url) && !entry.url.empty();
        if (!addressed) {
            if (complete) {
                Add(package, kError, owner + ": package without an address (url)");
            }
        } else if (!IsAddress(entry.url)) {
            Add(Child(package, "url"), kError,
                owner + ": package address " + Quoted(entry.url) +
                    " is not an http, https or file URL: downloading it fails");
        }
        const bool digested = QueryText(package, "sha256", entry.sha256);
        if (digested && !IsHexDigest(entry.sha256)) {
            Add(Child(package, "sha256"), kError,
                owner + ": sha256 " + Quoted(entry.sha256) +
                    " is not 64 hexadecimal digits: installing it fails");
        } else if (!digested && addressed) {
            Add(package, kWarning,
                owner +
                    ": package without a digest (sha256): clients cannot tell it from "
                    "another package of the same signer");
        }
        if (addressed) {
            packages_.push_back(entry);
        }
    }

    static bool IsAddress(const std::string& text) {
        try {
            const Url url(text);
            const std::string scheme = url.GetScheme();
            if (scheme == "http" || scheme == "https") {
                return !url.GetHost().empty();
            }
            return scheme == "file" && !url.GetPath().empty();
        } catch (const std::exception&) {
            return false;  // not UTF-8
        }
    }

    const TiXmlElement* root_;
    std::vector<LintFinding>& findings_;
    std::vector<LintPackage>& packages_;
    // Per section kind, each id with its first element, ordered by id.
    std::map<std::string, std::map<std::string, const TiXmlNode*>> ids_;
    std::map<std::string, std::vector<std::string>> dependencies_;
    // Component ids in lower case, with the first id and element of each.
    std::map<std::string, std::pair<std::string, const TiXmlNode*>> folded_;
};

}  // namespace

void AddFinding(std::vector<LintFinding>& findings, const TiXmlNode* node,
                LintFinding::Severity severity, const std::string& text) {
    LintFinding finding;
    finding.line = node ? node->Row() : 0;
    finding.severity = severity;
    finding.text = text;
    findings.push_back(finding);
}

void LintDocument(const TiXmlElement* root, std::vector<LintFinding>& findings,
                  std::vector<LintPackage>& packages) {
    if (root) {
        DocumentLint(root, findings, packages).Run();
    }
}
