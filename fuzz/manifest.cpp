// Arbitrary bytes through the manifest reading: document loading, every query function (with
// fixed paths and with a path taken from the input), component parsing with the platform
// filter, and the engine's manifest operations on the same bytes as a file.
//
// Input layout: when the bytes start with "#", the first line (after the "#") is an extra
// expression evaluated everywhere; the rest is the document.
//
// Besides crashes and sanitizer reports, it checks one property: a text list computed in one
// pass equals what the per-index queries give.
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
    return 0;
}
