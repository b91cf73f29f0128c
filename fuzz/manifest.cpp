// Arbitrary bytes through the manifest reading: document loading, every query function (with
// fixed paths and with a path taken from the input), component parsing with the platform
// filter, and the engine's manifest and offer operations on the same bytes as a file.
//
// Input layout: when the bytes start with "#", the first line (after the "#") is an extra
// expression evaluated everywhere; the rest is the document. Seeds: fuzz/manifest_seeds/.
//   build/fuzz/bin/fuzz_manifest -max_len=4096 CORPUS_DIR fuzz/manifest_seeds
//
// Besides crashes and sanitizer reports, it checks two properties: a text list computed in one
// pass equals what the per-index queries give, and the nesting the loader computes before
// parsing equals the nesting of the tree TinyXML built.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include <boost/make_shared.hpp>

#include "engine/ComponentImpl.h"
#include "engine/ManifestDocument.h"
#include "engine/ManifestQuery.h"
#include "engine/TinyXPath.h"
#include "engine/VomoInstallImpl.h"
#include "engine/XmlNesting.h"
#include "offers/IBundleGroup.h"
#include "offers/IMessage.h"

namespace {

std::string g_path;

const char* const kPaths[] = {
    "//componentDefinitions/component",
    "//specs/spec",
    "//role",
    "self::component",
    "//nameGroup/name",
    "component/descriptionGroup",
    "//description",
    "//package/url",
    "//progressText[@session='install']",
    "//text",
    "//dependencies/componentRef",
    "//shutdownModuleGroup/shutdownModule",
    "//streams/stream",
    "//attribute::version",
    "/",
    "/*",
    "//*",
    "..",
    "ancestor-or-self::*",
    "//*/text()",
    "//@*",
    "*[2]",
    "//*[@id][1]",
    "//bundleDefinitions/bundle",
    "//componentRef",
    "//pluginRef",
    "//testPlugin//pluginRef",
    "//supportedLangs//lang",
    "//descriptionGroup/heading",
    "//bannerRef",
    "page",
};

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void Query(const TiXmlNode* context, const std::string& path) {
    std::string text;
    bool flag = false;
    std::vector<const TiXmlNode*> nodes;
    std::vector<std::string> list;
    boost::shared_ptr<vmi::IMultiLangString> multi;
    QueryAttribute(context, path, "id", text);
    QueryText(context, path, text);
    QueryBool(context, path, flag);
    QueryNodes(context, path, nodes);
    QueryAttributeList(context, path, "lang", list);
    QueryMultiLangString(context, path, multi);
    Check(multi != nullptr);

    TinyXPath::xpath_processor processor(context, path);
    const std::size_t count = processor.node_count();
    processor.string_value();
    processor.first_attribute();
    if (count > 64) {
        return;  // the per-index comparison below is quadratic
    }
    std::vector<std::string> expected;
    for (std::size_t i = 1; i <= count; ++i) {
        if (QueryText(context, path + "[" + std::to_string(i) + "]", text) && !text.empty()) {
            expected.push_back(text);
        }
    }
    QueryTextList(context, path, list);
    Check(list == expected);
}

// Every offer operation that answers from memory or from the manifest file, with what it hands
// out looked into.
void Offers(VomoInstallImpl& engine) {
    vmi::ComponentList list;
    std::vector<std::string> ids;
    std::string text;
    engine.GetOfferComponents(list);
    engine.GetIdList(ids);
    std::vector<PluginRecord> plugins;
    engine.GetBundlePlugins(plugins);
    for (const PluginRecord& plugin : plugins) {
        for (const PluginTestPtr& test : plugin.tests) {
            Check(test != nullptr);
        }
    }
    engine.SetPluginCommandLineArgs("p", "/x");
    std::vector<boost::shared_ptr<vmi::IBundleGroup>> groups;
    engine.GetBundleGroups(groups);
    for (const boost::shared_ptr<vmi::IBundleGroup>& group : groups) {
        std::vector<boost::shared_ptr<vmi::IEula>> eulas;
        group->GetEulas(eulas);
        for (const boost::shared_ptr<vmi::IEula>& eula : eulas) {
            eula->GetLocalizedUrl("en-us", text);
        }
    }
    std::vector<boost::shared_ptr<vmi::IMessage>> messages;
    engine.GetMessages(messages);
    for (const boost::shared_ptr<vmi::IMessage>& message : messages) {
        message->GetLocalizedText("en-us", text);
    }
    std::vector<WizardPageRule> rules;
    engine.GetWizardLayout(rules);
    engine.GetBannerGroup("x", ids);
    engine.GetOfferableComponents(list);
    vmi::ComponentList all;
    if (engine.GetComponents(all) == 0) {
        engine.FilterComponentList(all.front(), all);
    }
    engine.GetPostInstallPage({"a", "b"}, text);
}

// Deepest element nesting of a loaded tree.
std::size_t TreeDepth(const TiXmlNode* top) {
    std::size_t deepest = 0;
    std::vector<std::pair<const TiXmlNode*, std::size_t>> stack = {{top, 0}};
    while (!stack.empty()) {
        const std::pair<const TiXmlNode*, std::size_t> entry = stack.back();
        stack.pop_back();
        for (const TiXmlElement* e = entry.first->FirstChildElement(); e;
             e = e->NextSiblingElement()) {
            deepest = std::max(deepest, entry.second + 1);
            stack.emplace_back(e, entry.second + 1);
        }
    }
    return deepest;
}

// The text as the loader hands it to the parser: up to the first NUL, line ends made "\n",
// followed by NUL bytes.
std::string LoadedText(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && bytes[i]; ++i) {
        if (bytes[i] == '\r') {
            text.push_back('\n');
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        } else {
            text.push_back(bytes[i]);
        }
    }
    text.append(4, '\0');
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char registry[] = "/tmp/vcm-fuzz-registry-XXXXXX";
    if (mkdtemp(registry)) {
        setenv("VOMO_REGISTRY_ROOT", registry, 1);
    }
    char file[] = "/tmp/vcm-fuzz-manifest-XXXXXX";
    const int fd = mkstemp(file);
    if (fd >= 0) {
        close(fd);
        g_path = file;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string extra;
    if (!input.empty() && input[0] == '#') {
        const std::size_t end = input.find('\n');
        extra = input.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        input.erase(0, end == std::string::npos ? input.size() : end + 1);
    }

    std::FILE* file = std::fopen(g_path.c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fwrite(input.data(), 1, input.size(), file);
    std::fclose(file);

    ManifestDocument document;
    if (document.Load(g_path) == 0) {
        const TiXmlElement* root = document.Root();
        Check(TinyXPath::xml_nesting_depth(LoadedText(input).c_str()) ==
              TreeDepth(root->GetDocument()));
        std::vector<const TiXmlNode*> contexts = {root};
        std::vector<const TiXmlNode*> all;
        QueryNodes(root, "//*", all);
        for (std::size_t i = 0; i < all.size() && contexts.size() < 8; i += 1 + all.size() / 8) {
            contexts.push_back(all[i]);
        }
        for (const TiXmlNode* context : contexts) {
            for (const char* path : kPaths) {
                Query(context, path);
            }
            if (!extra.empty()) {
                Query(context, extra);
            }
            vmi::ComponentPtr component;
            CreateComponent(context, component);
            PassesOsRequirement(component);
            component->SelectStream("s");
            std::string page;
            component->GetPostInstallPage(page);
            ComponentRecord record;
            component->GetRecord(record);
        }
    }

    boost::shared_ptr<VomoInstallImpl> engine =
        boost::make_shared<VomoInstallImpl>(Url("http://127.0.0.1:1/m.cab"), 0);
    engine->SetManifestPath(Url::FromPath(g_path));
    engine->SetBundleNames("t", "s");  // the bundles of the seeds
    engine->LoadManifest();
    SpecQuery query;
    query.role = "r";
    query.name = "s";
    query.version = "1";
    std::set<std::string> ids;
    engine->FindComponentsBySpec(query, ids);
    Version version;
    engine->ReadManifestVersion(version);
    Url url;
    engine->GetSetupServerUrl(url);
    vmi::ComponentPtr component;
    engine->CreateComponentFromManifest(extra.empty() ? "a" : extra, "s", component);
    std::string page;
    engine->GetPostInstallPage({"a"}, page);
    Offers(*engine);
    return 0;
}
