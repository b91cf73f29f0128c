// An update session of 20 components with 1 MiB packages from a local HTTP server
// (DynamicSessionImpl: download, signature check and seal of every package, then each installer
// run through the launcher), beside a shell loop that fetches the same packages with curl and
// runs the same installers: a private folder per package, the member extracted with cabextract,
// run with the same arguments, the folder removed. The shell loop checks no signature.
// Target: the session within 1.5 times the shell loop's time.
//
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVCM_BUILD_BENCH=ON
//         -DVCM_BUILD_TESTS=OFF
//   cmake --build build/release --target bench_sessions
//   build/release/bin/bench_sessions
#include <benchmark/benchmark.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <boost/make_shared.hpp>

#include "engine/ComponentImpl.h"
#include "engine/Locale.h"
#include "sessions/DynamicSessionImpl.h"
#include "tests/support/CodeSigning.h"
#include "tests/support/LocalHttpServer.h"

namespace {

const int kComponents = 20;
const size_t kPackageBytes = 1u << 20;
const double kTargetRatio = 1.5;

struct Inputs {
    testsupport::TempDir dir{"vcm-bench-sessions"};
    testsupport::TempDir tmp{"vcm-bench-sessions-tmp"};
    testsupport::LocalHttpServer server;
    vmi::ComponentList components;
    std::vector<std::string> ids;
    bool ok = true;
};

Inputs* g_inputs = nullptr;

bool Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A script that exits at once, padded with random text to the package size, so that every
// package is a different 1 MiB file that compresses to nothing less.
std::string Installer(std::mt19937& random) {
    std::string script = "#!/bin/sh\nexit 0\n#";
    const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    while (script.size() < kPackageBytes - 512) {  // room for the cabinet and its signature
        script += alphabet[random() % (sizeof alphabet - 1)];
    }
    return script + "\n";
}

bool MakeInputs(Inputs& in) {
    const testsupport::CodeSigning& signing = testsupport::CodeSigning::Instance();
    ::setenv("VOMO_TRUST_ROOTS", signing.TrustedRoots().c_str(), 1);
    ::setenv("TMPDIR", in.tmp.Path().c_str(), 1);
    std::mt19937 random(7);
    std::string list;
    for (int i = 0; i < kComponents; ++i) {
        const std::string id = "component" + std::to_string(i);
        const std::string plain = in.dir.File(id + ".plain");
        const std::string signedFile = in.dir.File(id + ".cab");
        std::string bytes;
        if (!testsupport::MakeCabinet(plain, {{"setup", Installer(random)}}, false,
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
        list += " " + in.server.Url("/" + id + ".cab");
    }
    return testsupport::WriteFile(in.dir.File("loop.sh"),
                                  "#!/bin/sh\n"
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
                                      "rm -rf \"$d\"\n") &&
           Run("chmod 700 '" + in.dir.File("loop.sh") + "'");
}

bool UpdateSession(Inputs& in) {
    DynamicSessionImpl session(in.components, in.ids, std::string(),
                               boost::shared_ptr<vmi::IEventLog>());
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

double Seconds(const std::function<bool()>& body, bool& ok) {
    const auto start = std::chrono::steady_clock::now();
    ok = body() && ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration runs both, in alternating order, so that both meet the same load.
void BM_UpdateSessionBesideShellLoop(benchmark::State& state) {
    Inputs& in = *g_inputs;
    const std::function<bool()> ours = [&] { return UpdateSession(in); };
    const std::function<bool()> loop = [&] { return Run("exec '" + in.dir.File("loop.sh") + "'"); };
    double oursTotal = 0, loopTotal = 0;
    bool ok = true;
    int64_t n = 0;
    for (auto _ : state) {
        if (n++ % 2 == 0) {
            oursTotal += Seconds(ours, ok);
            loopTotal += Seconds(loop, ok);
        } else {
            loopTotal += Seconds(loop, ok);
            oursTotal += Seconds(ours, ok);
        }
    }
    if (!ok) {
        state.SkipWithError("a run failed");
        return;
    }
    const double oursMs = oursTotal * 1000 / static_cast<double>(n);
    const double loopMs = loopTotal * 1000 / static_cast<double>(n);
    state.counters["session_ms"] = oursMs;
    state.counters["shell_loop_ms"] = loopMs;
    state.counters["ratio"] = oursMs / loopMs;
    std::printf(
        "update session %8.1f ms beside the shell loop's %8.1f ms: %.2f times "
        "(target at most %.1f) %s\n",
        oursMs, loopMs, oursMs / loopMs, kTargetRatio,
        oursMs <= kTargetRatio * loopMs ? "met" : "MISSED");
}

BENCHMARK(BM_UpdateSessionBesideShellLoop)->Unit(benchmark::kMillisecond)->Iterations(10);

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
