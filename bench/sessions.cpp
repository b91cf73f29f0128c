// An update of 20 and of 200 components with 1 MiB packages from a local HTTP server, beside a
// shell loop that fetches the same packages with curl and runs the same installers (each in a
// private folder, the member extracted with cabextract, run with the same arguments, the folder
// removed); the loop checks no signature and records nothing.
//   - BM_SessionBesideShellLoop: the update session in process (DynamicSessionImpl: downloads,
//     signature check and seal of every package, then each installer through the launcher), as
//     a host's worker thread runs it;
//   - BM_VcmUpdateBesideShellLoop: `vcm update` of the same ids as a whole process, updating
//     components installed by an earlier run: the manifest (signed) downloaded, verified,
//     extracted and loaded, the session, the records of the run.
//   - BM_VcmFirstInstallBesideShellLoop: the same into a fresh registry, where every component
//     is installed for the first time: the manager then reports each first install to the
//     installer server (received by a listener on port 80 when the benchmark may bind it), and
//     the manager's shutdown waits until every report was tried, the worker pausing 100 ms after
//     each as the ping manager's design has it: 20 components wait about two seconds there.
// Each installer records InstallDir and UninstallPath with vomo-reg, as installer packages do;
// both sides run them. Target: at most 1.2 times the loop.
// Medians of paired runs (bench/Paired.h).
//
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVCM_BUILD_BENCH=ON
//         -DVCM_BUILD_TESTS=OFF
//   cmake --build build/release --target bench_sessions
//   build/release/bin/bench_sessions      (inside a network namespace of its own)
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <boost/make_shared.hpp>

#include "bench/Paired.h"
#include "engine/ComponentImpl.h"
#include "engine/Locale.h"
#include "sessions/DynamicSessionImpl.h"
#include "tests/support/CodeSigning.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/PingTestSupport.h"

namespace {

const int kMostComponents = 200;
const size_t kPackageBytes = 1u << 20;
const double kTargetRatio = 1.2;
const char kListenerAddress[] = "127.0.80.27";

struct Inputs {
    testsupport::TempDir dir{"vcm-bench-sessions"};
    testsupport::TempDir tmp{"vcm-bench-sessions-tmp"};
    testsupport::LocalHttpServer server;
    std::unique_ptr<pingtest::Port80Listener> listener;
    vmi::ComponentList components;
    std::vector<std::string> ids;
};

Inputs* g_inputs = nullptr;

std::string Bin(const std::string& program) {
    return std::string(VCM_BENCH_BIN_DIR) + "/" + program;
}

// An installer that records itself as packages do and exits, padded with random text to the
// package size, so that every package is a different 1 MiB file that compresses to nothing less.
std::string Installer(const std::string& id, std::mt19937& random) {
    const std::string key = "HKLM\\SOFTWARE\\Vomo\\Install\\" + id;
    std::string script = "#!/bin/sh\n\"" + Bin("vomo-reg") + "\" add '" + key +
                         "' /v InstallDir /d /opt/" + id + " /f > /dev/null\n\"" + Bin("vomo-reg") +
                         "\" add '" + key + "' /v UninstallPath /d /opt/" + id +
                         "/uninstall /f > /dev/null\nexit 0\n#";
    const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    while (script.size() < kPackageBytes - 512) {  // room for the cabinet and its signature
        script += alphabet[random() % (sizeof alphabet - 1)];
    }
    return script + "\n";
}

std::string LoopScript(const Inputs& in, int count) {
    std::string list;
    for (int i = 0; i < count; ++i) {
        list += " " + in.server.Url("/" + in.ids[i] + ".cab");
    }
    return "#!/bin/sh\n"
           "set -e\n"
           "d=$(mktemp -d)\n"
           "n=0\n"
           "for url in" +
           list +
           "; do\n"
           "  n=$((n + 1)); curl -sf -o \"$d/p$n.cab\" \"$url\"\n"
           "done\n"
           "for p in \"$d\"/p*.cab; do\n"
           "  r=$(mktemp -d)\n"
           "  cabextract -q -d \"$r\" \"$p\" > /dev/null 2>&1\n"
           "  chmod u+x \"$r/setup\"\n"
           "  \"$r/setup\" '/DIR=' /LOCALE=en-us < /dev/null\n"
           "  rm -rf \"$r\"\n"
           "done\n"
           "rm -rf \"$d\"\n";
}

bool MakeManifest(Inputs& in, int count) {
    const testsupport::CodeSigning& signing = testsupport::CodeSigning::Instance();
    std::string xml = "<manifest version=\"1.0.0.0\"><componentDefinitions>";
    for (int i = 0; i < count; ++i) {
        xml += "<component id=\"" + in.ids[i] +
               "\"><latestVersion>1.0.0.0</latestVersion><package><type>nsis</type><url>" +
               in.server.Url("/" + in.ids[i] + ".cab") + "</url></package></component>";
    }
    xml += "</componentDefinitions></manifest>";
    const std::string name = "m" + std::to_string(count);
    std::string bytes;
    if (!testsupport::MakeCabinet(in.dir.File(name + ".plain"), {{"manifest.xml", xml}}, true,
                                  in.dir.Path()) ||
        !signing.Sign(testsupport::Signer::kVomoLlc, in.dir.File(name + ".plain"),
                      in.dir.File(name + ".cab")) ||
        !testsupport::ReadFile(in.dir.File(name + ".cab"), bytes)) {
        return false;
    }
    in.server.Route("/" + name + "/vomo/setup/manifest.cab", testsupport::HttpReply::Body(bytes));
    return testsupport::WriteFile(in.dir.File("loop" + std::to_string(count) + ".sh"),
                                  LoopScript(in, count)) &&
           benchpair::RunShell("chmod 700 '" + in.dir.File("loop" + std::to_string(count) + ".sh") +
                               "'");
}

bool MakeInputs(Inputs& in) {
    const testsupport::CodeSigning& signing = testsupport::CodeSigning::Instance();
    ::setenv("VOMO_TRUST_ROOTS", signing.TrustedRoots().c_str(), 1);
    ::setenv("TMPDIR", in.tmp.Path().c_str(), 1);
    ::setenv("VOMO_LOG_DIR", in.dir.Path().c_str(), 1);
    in.listener.reset(new pingtest::Port80Listener(kListenerAddress));
    if (!in.listener->Error().empty()) {
        std::fprintf(stderr, "reports go nowhere: %s\n", in.listener->Error().c_str());
    }
    ::setenv("VOMO_INSTALLER_URL", (std::string("http://") + kListenerAddress).c_str(), 1);
    std::mt19937 random(7);
    std::fprintf(stderr, "Making %d signed 1 MiB packages in %s ...\n", kMostComponents,
                 in.dir.Path().c_str());
    for (int i = 0; i < kMostComponents; ++i) {
        const std::string id = "component" + std::to_string(i);
        const std::string plain = in.dir.File(id + ".plain");
        const std::string signedFile = in.dir.File(id + ".cab");
        std::string bytes;
        if (!testsupport::MakeCabinet(plain, {{"setup", Installer(id, random)}}, false,
                                      in.dir.Path()) ||
            !signing.Sign(testsupport::Signer::kVomoLlc, plain, signedFile) ||
            !testsupport::ReadFile(signedFile, bytes)) {
            return false;
        }
        in.server.Route("/" + id + ".cab", testsupport::HttpReply::Body(bytes));
        ComponentRecord record;
        record.id = id;
        record.packageType = kPackageNsis;
        record.packageUrl = Url(in.server.Url("/" + id + ".cab"));
        record.latestVersion = Version("1.0.0.0");
        in.components.push_back(boost::make_shared<ComponentImpl>(record));
        in.ids.push_back(id);
    }
    return MakeManifest(in, 20) && MakeManifest(in, kMostComponents);
}

// A fresh registry for the next run, outside the measurement.
void FreshRegistry() {
    const std::string registry = g_inputs->dir.File("registry");
    benchpair::RunShell("rm -rf '" + registry + "' && mkdir '" + registry + "'");
    ::setenv("VOMO_REGISTRY_ROOT", registry.c_str(), 1);
}

bool ShellLoop(int count) {
    return benchpair::RunShell("exec '" +
                               g_inputs->dir.File("loop" + std::to_string(count) + ".sh") + "'");
}

bool UpdateSession(int count) {
    Inputs& in = *g_inputs;
    const vmi::ComponentList components(in.components.begin(), in.components.begin() + count);
    const std::vector<std::string> ids(in.ids.begin(), in.ids.begin() + count);
    DynamicSessionImpl session(components, ids, std::string(), boost::shared_ptr<vmi::IEventLog>());
    if (session.Start() != 0) {
        return false;
    }
    uint32_t position = 0, total = 0, state = 0;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        session.GetProgress(position, total, state);
    } while (state != 7 && state != 8);
    return state == 7;
}

bool VcmUpdate(int count) {
    Inputs& in = *g_inputs;
    std::string ids;
    for (int i = 0; i < count; ++i) {
        ids += (i ? ";" : "") + in.ids[i];
    }
    const std::string manifest =
        in.server.Url("/m" + std::to_string(count) + "/vomo/setup/manifest.cab");
    return benchpair::RunShell("VOMO_MANIFEST_URL='" + manifest + "' '" + Bin("vcm") +
                               "' update '" + ids + "' > /dev/null");
}

void BM_SessionBesideShellLoop(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    benchpair::Run(
        state, "session of " + std::to_string(count), "curl + shell loop",
        [count] { return UpdateSession(count); }, [count] { return ShellLoop(count); },
        benchpair::Target{kTargetRatio, 0}, FreshRegistry);
}

void BM_VcmUpdateBesideShellLoop(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    FreshRegistry();
    if (!VcmUpdate(count)) {  // installs them: the runs measured update installed components
        state.SkipWithError("the first run failed");
        return;
    }
    benchpair::Run(
        state, "vcm update of " + std::to_string(count), "curl + shell loop",
        [count] { return VcmUpdate(count); }, [count] { return ShellLoop(count); },
        benchpair::Target{kTargetRatio, 0});
}

void BM_VcmFirstInstallBesideShellLoop(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    benchpair::Run(
        state, "vcm update, first installs, " + std::to_string(count), "curl + shell loop",
        [count] { return VcmUpdate(count); }, [count] { return ShellLoop(count); },
        benchpair::Target{kTargetRatio, 0}, FreshRegistry);
}

BENCHMARK(BM_SessionBesideShellLoop)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_SessionBesideShellLoop)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_VcmUpdateBesideShellLoop)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_VcmUpdateBesideShellLoop)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_VcmFirstInstallBesideShellLoop)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vmi::Locale::Select("en-us");
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
