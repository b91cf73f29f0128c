// Launching an installer package: NSISPackageLauncher::InstallPackage of a trivial package (a
// cabinet whose member is a shell script that exits at once), beside a shell script that does
// the same by hand: makes a temporary folder, extracts the member with cabextract, runs it with
// the same arguments and removes the folder.
// Target: our launch at most 10 ms slower than the shell script's, per launch.
//
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVCM_BUILD_BENCH=ON
//         -DVCM_BUILD_TESTS=OFF
//   cmake --build build/release --target bench_launcher
//   build/release/bin/bench_launcher
#include <benchmark/benchmark.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include <boost/make_shared.hpp>

#include "engine/Locale.h"
#include "packages/NSISPackageLauncher.h"
#include "packages/Redirector.h"

namespace {

// How much slower than the shell script a launch may be.
const double kTargetMs = 10.0;

std::string g_dir;

bool Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string File(const std::string& name) {
    return g_dir + "/" + name;
}

bool WriteScript(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    return static_cast<bool>(out) && Run("chmod 700 '" + path + "'");
}

bool MakeInputs() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vcm-bench-XXXXXX";
    if (!::mkdtemp(&pattern[0])) {
        return false;
    }
    g_dir = pattern;
    return WriteScript(File("setup"), "#!/bin/sh\nexit 0\n") &&
           Run("cd '" + g_dir + "' && gcab -c -z package.cab setup > /dev/null") &&
           WriteScript(File("direct.sh"),
                       "#!/bin/sh\n"
                       "d=$(mktemp -d) || exit 1\n"
                       "cabextract -q -d \"$d\" \"$1\" > /dev/null 2>&1 || exit 1\n"
                       "chmod u+x \"$d/setup\"\n"
                       "\"$d/setup\" '/DIR=/opt/vomo' /LOCALE=en-us < /dev/null\n"
                       "code=$?\n"
                       "rm -rf \"$d\"\n"
                       "exit $code\n");
}

double Seconds(const std::function<bool()>& body, bool& ok) {
    const auto start = std::chrono::steady_clock::now();
    ok = body() && ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration launches once each way, in alternating order, so that both meet the same load
// on a shared machine.
void BM_InstallPackageBesideShellScript(benchmark::State& state) {
    vmi::Locale::Select("en-us");
    NSISPackageLauncher launcher("bench", "/opt/vomo", boost::shared_ptr<vmi::IEventLog>(),
                                 boost::make_shared<Redirector>(false, [](const char*, size_t) {}));
    const std::string package = File("package.cab");
    const std::function<bool()> ours = [&] {
        return launcher.InstallPackage(package, "", false) == 0;
    };
    const std::function<bool()> direct = [&] {
        return Run("exec '" + File("direct.sh") + "' '" + package + "'");
    };
    double oursTotal = 0, directTotal = 0;
    bool ok = true;
    int64_t n = 0;
    for (auto _ : state) {
        if (n++ % 2 == 0) {
            oursTotal += Seconds(ours, ok);
            directTotal += Seconds(direct, ok);
        } else {
            directTotal += Seconds(direct, ok);
            oursTotal += Seconds(ours, ok);
        }
    }
    if (!ok) {
        state.SkipWithError("a launch failed");
        return;
    }
    const double oursMs = oursTotal * 1000 / static_cast<double>(n);
    const double directMs = directTotal * 1000 / static_cast<double>(n);
    state.counters["ours_ms"] = oursMs;
    state.counters["script_ms"] = directMs;
    state.counters["difference_ms"] = oursMs - directMs;
    std::printf(
        "launch %8.2f ms beside the shell script's %8.2f ms: %+.2f ms per launch "
        "(target at most %+.0f ms) %s\n",
        oursMs, directMs, oursMs - directMs, kTargetMs,
        oursMs - directMs <= kTargetMs ? "met" : "MISSED");
}

BENCHMARK(BM_InstallPackageBesideShellScript)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!MakeInputs()) {
        std::fprintf(stderr, "making the inputs failed (in %s)\n", g_dir.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Run("rm -rf '" + g_dir + "'");
    return 0;
}
