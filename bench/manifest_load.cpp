// Manifest load time against a bare TinyXML parse of the same file, for generated manifests of
// 1,000, 10,000 and 50,000 realistic components (specs with roles, names in three languages,
// platform requirement, package, dependencies, progress text, resource reference).
//
// Targets: at 10,000 components the load costs at most five times the bare parse, and 50,000
// components take at most six times as long as 10,000 (the load is linear in the manifest).
//   build/release/bin/bench_manifest_load
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include <unistd.h>

#include <tinyxml.h>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "engine/VomoInstallImpl.h"
#include "settings/SettingsAccessors.h"

namespace {

std::string ComponentXml(int i) {
    const std::string n = std::to_string(i);
    const std::string previous = std::to_string(i > 0 ? i - 1 : 0);
    return "  <component id=\"com.vomo.component" + n + "\" order=\"" + n +
           "\">\n"
           "   <isOptional>true</isOptional><isDefaultChecked>1</isDefaultChecked>\n"
           "   <installSize>" +
           std::to_string(1000 + i * 7) + "</installSize>\n   <latestVersion>2." +
           std::to_string(i % 100) + "." + std::to_string(i % 7) + "." + n +
           "</latestVersion>\n   <displayVersion>2." + std::to_string(i % 100) +
           "</displayVersion>\n"
           "   <specs>\n"
           "    <spec name=\"capability" +
           n +
           "\" version=\"1.0\"><role cost=\"1\">runtime</role><role>sdk</role></spec>\n"
           "    <spec name=\"shared.media\" version=\"2\"><role>plugin</role></spec>\n"
           "   </specs>\n"
           "   <nameGroup>\n"
           "    <name lang=\"en-us\">Vomo Component " +
           n + "</name>\n    <name lang=\"de-de\">Vomo Komponente " + n +
           "</name>\n    <name lang=\"fr-fr\">Composant Vomo " + n +
           "</name>\n"
           "   </nameGroup>\n"
           "   <requirements><os cpu=\"x86\" version=\"2.6\" "
           "condition=\"equalorgreaterthan\"/></requirements>\n"
           "   <package><type>nsis</type><commandLineArgs>/S /NCRC</commandLineArgs>\n"
           "    <url>http://download.vomo.example/components/" +
           n +
           "/setup.cab</url></package>\n"
           "   <dependencies><componentRef id=\"com.vomo.component" +
           previous +
           "\"/><componentRef id=\"com.vomo.runtime\"/></dependencies>\n"
           "   <progressTexts><progressText session=\"install\"><text lang=\"en-us\">Installing "
           "component " +
           n +
           "</text></progressText></progressTexts>\n"
           "   <resourceRef id=\"icon" +
           n + "\"/>\n  </component>\n";
}

// Generated files, removed when the program ends.
struct Files : std::map<int, std::string> {
    ~Files() {
        for (const auto& entry : *this) {
            unlink(entry.second.c_str());
        }
    }
};

// The manifest of `count` components, written once per process.
const std::string& ManifestFile(int count) {
    static Files files;
    std::map<int, std::string>::const_iterator it = files.find(count);
    if (it != files.end()) {
        return it->second;
    }
    const char* base = std::getenv("TMPDIR");
    std::string path = std::string(base && *base ? base : "/tmp") + "/vcm-bench-XXXXXX";
    const int fd = mkstemp(&path[0]);
    if (fd < 0) {
        std::abort();
    }
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest version=\"4.2.0.17\">\n"
        " <componentDefinitions>\n";
    for (int i = 0; i < count; ++i) {
        xml += ComponentXml(i);
    }
    xml +=
        " </componentDefinitions>\n"
        " <resourceDefinitions><resource id=\"icon0\"><tag>i</tag><resid>1</resid>"
        "<type>ico</type></resource></resourceDefinitions>\n"
        " <bundleGroups><marketingBundleVersion>2024.2</marketingBundleVersion></bundleGroups>\n"
        "</manifest>\n";
    if (write(fd, xml.data(), xml.size()) != static_cast<ssize_t>(xml.size())) {
        std::abort();
    }
    close(fd);
    return files[count] = path;
}

void LoadManifest(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string& path = ManifestFile(count);
    boost::shared_ptr<VomoInstallImpl> engine =
        boost::make_shared<VomoInstallImpl>(Url("http://127.0.0.1:1/m.cab"), 0);
    engine->SetManifestPath(Url::FromPath(path));
    for (auto _ : state) {
        if (engine->LoadManifest() != 0) {
            state.SkipWithError("load failed");
            break;
        }
    }
    vmi::ComponentList components;
    engine->GetComponents(components);
    state.counters["components"] = static_cast<double>(components.size());
}

void BareTinyXmlParse(benchmark::State& state) {
    const std::string& path = ManifestFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TiXmlDocument document;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file || !document.LoadFile(file)) {
            state.SkipWithError("parse failed");
        }
        if (file) {
            std::fclose(file);
        }
        benchmark::DoNotOptimize(document.RootElement());
    }
}

BENCHMARK(BareTinyXmlParse)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadManifest)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace

// The registry reads of the load (a recorded stream id per component) go to a registry of the
// benchmark's own, never to the machine's; it holds a few installed components, as a user's
// machine does.
int main(int argc, char** argv) {
    char registry[] = "/tmp/vcm-bench-registry-XXXXXX";
    if (!mkdtemp(registry)) {
        return 1;
    }
    setenv("VOMO_REGISTRY_ROOT", registry, 1);
    for (int i = 0; i < 20; i += 2) {
        const std::string id = "com.vomo.component" + std::to_string(i);
        vmds::WriteInstallString(id, "ComponentId", id);
        vmds::WriteInstallString(id, "StreamId", "lts");
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    boost::system::error_code ignored;
    boost::filesystem::remove_all(registry, ignored);
    return 0;
}
