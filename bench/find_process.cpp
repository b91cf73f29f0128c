// `vcm find` on a manifest of 10,000 components (bench/ManifestXml.h) as a whole process: start,
// the signed manifest cabinet downloaded from a local server, its signature checked (the trusted
// roots loaded), the manifest extracted, loaded and asked for a spec, shutdown. Beside it, what
// no process can do without, in this process back to back: the cabinet's transfer (SyncDownload)
// and LoadManifest of the manifest by a fresh engine. Target: at most 1.2 times that.
// Medians of paired runs (bench/Paired.h).
//
//   cmake --build build/release --target bench_find_process
//   build/release/bin/bench_find_process      (inside a network namespace of its own)
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <boost/make_shared.hpp>

#include "bench/ManifestXml.h"
#include "bench/Paired.h"
#include "engine/VomoInstallImpl.h"
#include "packages/SyncDownload.h"
#include "tests/support/CodeSigning.h"
#include "tests/support/LocalHttpServer.h"

namespace {

const int kComponents = 10000;

struct Inputs {
    testsupport::TempDir dir{"vcm-bench-find"};
    testsupport::LocalHttpServer server;
    std::string manifest;  // the XML
    std::string url;       // the signed cabinet's
};

Inputs* g_inputs = nullptr;

bool MakeInputs(Inputs& in) {
    const testsupport::CodeSigning& signing = testsupport::CodeSigning::Instance();
    ::setenv("VOMO_TRUST_ROOTS", signing.TrustedRoots().c_str(), 1);
    ::setenv("TMPDIR", in.dir.Path().c_str(), 1);
    ::setenv("VOMO_LOG_DIR", in.dir.Path().c_str(), 1);
    ::setenv("VOMO_INSTALLER_URL", "http://127.0.0.1:1", 1);
    std::string xml;
    in.manifest = benchmanifest::ManifestFile(kComponents);
    std::string bytes;
    if (!testsupport::ReadFile(in.manifest, xml) ||
        !testsupport::MakeCabinet(in.dir.File("manifest.plain"), {{"manifest.xml", xml}}, true,
                                  in.dir.Path()) ||
        !signing.Sign(testsupport::Signer::kVomoLlc, in.dir.File("manifest.plain"),
                      in.dir.File("manifest.cab")) ||
        !testsupport::ReadFile(in.dir.File("manifest.cab"), bytes)) {
        return false;
    }
    in.server.Route("/vomo/setup/manifest.cab", testsupport::HttpReply::Body(bytes));
    in.url = in.server.Url("/vomo/setup/manifest.cab");
    ::setenv("VOMO_MANIFEST_URL", in.url.c_str(), 1);
    std::fprintf(stderr, "manifest %zu bytes, its cabinet %zu bytes\n", xml.size(), bytes.size());
    return true;
}

void FreshRegistry() {
    const std::string registry = g_inputs->dir.File("registry");
    benchpair::RunShell("rm -rf '" + registry + "' && mkdir '" + registry + "'");
    ::setenv("VOMO_REGISTRY_ROOT", registry.c_str(), 1);
}

bool VcmFind() {
    return benchpair::RunShell("'" + std::string(VCM_BENCH_BIN_DIR) +
                               "/vcm' find 'capability5000;runtime;1.0' > /dev/null");
}

bool TransferAndLoad() {
    Inputs& in = *g_inputs;
    const std::string target = in.dir.File("transferred.cab");
    ::unlink(target.c_str());
    const boost::shared_ptr<ISyncDownload> download = CreateSyncDownload();
    if (!download->Download(Url(in.url), Url::FromPath(target))) {
        return false;
    }
    boost::shared_ptr<VomoInstallImpl> engine = boost::make_shared<VomoInstallImpl>(Url(in.url), 0);
    engine->SetManifestPath(Url::FromPath(in.manifest));
    engine->SetBundleNames("VomoUpdate", "");
    return engine->LoadManifest() == 0;
}

void BM_VcmFindBesideTransferAndLoad(benchmark::State& state) {
    benchpair::Run(state, "vcm find, 10k components", "transfer + LoadManifest", VcmFind,
                   TransferAndLoad, benchpair::Target{1.2, 0}, FreshRegistry);
}

BENCHMARK(BM_VcmFindBesideTransferAndLoad)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Inputs inputs;
    if (!MakeInputs(inputs)) {
        std::fprintf(stderr, "making the inputs failed (in %s)\n", inputs.dir.Path().c_str());
        return 1;
    }
    g_inputs = &inputs;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
