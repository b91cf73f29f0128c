// Manifest load time against a bare TinyXML parse of the same file, for generated manifests of
// 1,000, 10,000 and 50,000 realistic components with their offer sections (bench/ManifestXml.h).
// The load selects the last bundle and, as the second bundle, the second one. Each load is that
// of a fresh engine, as in a run (the engine, with the catalogue it built, is released outside
// the measurement); the bare parse includes freeing its tree, as the load does.
//
// Targets: at 10,000 components the load costs at most twice the bare parse
// (BM_LoadBesideBareParse, paired runs, bench/Paired.h), and 50,000 components take at most six
// times as long as 10,000 (the load is linear in the manifest).
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

#include "bench/ManifestXml.h"
#include "bench/Paired.h"
#include "engine/VomoInstallImpl.h"
#include "settings/SettingsAccessors.h"

namespace {

using benchmanifest::ManifestFile;

boost::shared_ptr<VomoInstallImpl> NewEngine(const std::string& path) {
    boost::shared_ptr<VomoInstallImpl> engine =
        boost::make_shared<VomoInstallImpl>(Url("http://127.0.0.1:1/m.cab"), 0);
    engine->SetManifestPath(Url::FromPath(path));
    engine->SetBundleNames("VomoUpdate", "bundle1");
    return engine;
}

bool CatalogueRead(VomoInstallImpl& engine, int count) {
    vmi::ComponentList components;
    engine.GetComponents(components);
    std::vector<PluginRecord> plugins;
    engine.GetBundlePlugins(plugins);
    std::vector<std::string> ids;
    engine.GetIdList(ids);
    return static_cast<int>(components.size()) == count && plugins.size() == 2 && ids.size() == 10;
}

bool BareParse(const std::string& path) {
    TiXmlDocument document;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const bool parsed = file && document.LoadFile(file);
    if (file) {
        std::fclose(file);
    }
    benchmark::DoNotOptimize(document.RootElement());
    return parsed;
}

void LoadManifest(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string& path = ManifestFile(count);
    bool read = true;
    for (auto _ : state) {
        state.PauseTiming();
        boost::shared_ptr<VomoInstallImpl> engine = NewEngine(path);
        state.ResumeTiming();
        if (engine->LoadManifest() != 0) {
            state.SkipWithError("load failed");
            break;
        }
        state.PauseTiming();
        read = CatalogueRead(*engine, count) && read;
        engine.reset();
        state.ResumeTiming();
    }
    if (!read) {
        state.SkipWithError("offer sections not read");
    }
}

void BareTinyXmlParse(benchmark::State& state) {
    const std::string& path = ManifestFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (!BareParse(path)) {
            state.SkipWithError("parse failed");
        }
    }
}

// The load of a fresh engine beside the bare parse, in pairs; the engine is made and released
// outside the measurement.
void BM_LoadBesideBareParse(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string& path = ManifestFile(count);
    boost::shared_ptr<VomoInstallImpl> engine;
    bool loaded = false;
    bool read = true;
    benchpair::Run(
        state, "LoadManifest " + std::to_string(count), "bare TinyXML parse",
        [&] { return loaded = engine->LoadManifest() == 0; }, [&] { return BareParse(path); },
        benchpair::Target{2.0, 0},
        [&] {
            if (loaded) {
                read = CatalogueRead(*engine, count) && read;
                loaded = false;
                engine.reset();
            }
            if (!engine) {
                engine = NewEngine(path);
            }
        });
    if (!read) {
        state.SkipWithError("offer sections not read");
    }
}

BENCHMARK(BareTinyXmlParse)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadManifest)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBesideBareParse)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(10);

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
