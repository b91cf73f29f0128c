// Verifying and extracting cabinets, beside the command-line tools that do the same:
//   - the signature check of a 256 MiB signed cabinet beside `osslsigncode verify` (target: at
//     most 1.2 times its time);
//   - the signature check of a 1 MiB signed package, the trusted roots loaded already as they are
//     after a process's first check, beside `openssl dgst -sha256` of the same file (target:
//     within 5 ms of it);
//   - extracting a 256 MiB member from an MSZIP cabinet beside `gcab -x` (target: at most its
//     time) and beside `cabextract` (at most 1.2 times).
// The inputs (a throwaway certificate, the cabinets made by gcab and signed by osslsigncode) are
// made once in a temporary directory (TMPDIR or /tmp); the files are read from the page cache
// in every run, by both sides. Medians of paired runs (bench/Paired.h).
//
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVCM_BUILD_BENCH=ON
//         -DVCM_BUILD_TESTS=OFF
//   cmake --build build/release --target bench_verify_extract
//   build/release/bin/bench_verify_extract
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/Paired.h"
#include "packages/ManifestExtractor.h"
#include "packages/VerifyTrust.h"

namespace {

const size_t kMemberBytes = 256u << 20;

std::string g_dir;

bool Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string File(const std::string& name) {
    return g_dir + "/" + name;
}

// A manifest-like text: XML lines with varying ids and versions, so that MSZIP has both
// repetition and variety to work on.
bool WriteMember(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::mt19937 random(42);
    std::string line;
    size_t written = 0;
    while (written < kMemberBytes) {
        line = "  <component id=\"c" + std::to_string(random() % 100000) + "\" version=\"" +
               std::to_string(random() % 10) + "." + std::to_string(random() % 100) + ".0." +
               std::to_string(random() % 10000) + "\"><url>http://example.invalid/p/" +
               std::to_string(random()) + ".cab</url></component>\n";
        if (written + line.size() > kMemberBytes) {
            line.resize(kMemberBytes - written);
        }
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        written += line.size();
    }
    return static_cast<bool>(out);
}

bool MakeInputs() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vcm-bench-XXXXXX";
    if (!::mkdtemp(&pattern[0])) {
        return false;
    }
    g_dir = pattern;
    const std::string cd = "cd '" + g_dir + "' && ";
    std::fprintf(stderr, "Making the 256 MiB inputs in %s ...\n", g_dir.c_str());
    return WriteMember(File("member.xml")) &&
           Run(cd +
               "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
               "-keyout ca.key -out ca.pem -days 30 -subj '/CN=Bench Root' 2>/dev/null && "
               "openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout leaf.key "
               "-subj '/O=Vomo, LLC/CN=Vomo, LLC' -out leaf.csr 2>/dev/null && "
               "printf 'extendedKeyUsage=codeSigning\\n' > leaf.ext && "
               "openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
               "-days 30 -extfile leaf.ext -out leaf.pem 2>/dev/null") &&
           Run(cd + "gcab -c -z mszip.cab member.xml > /dev/null") &&
           Run(cd + "gcab -c stored.cab member.xml > /dev/null") &&
           Run(cd +
               "osslsigncode sign -h sha256 -certs leaf.pem -key leaf.key -in stored.cab "
               "-out signed.cab > /dev/null") &&
           Run(cd + "head -c 1048576 /dev/urandom > package.bin && gcab -c package.plain " +
               "package.bin > /dev/null && osslsigncode sign -h sha256 -certs leaf.pem -key " +
               "leaf.key -in package.plain -out package.cab > /dev/null") &&
           Run(cd + "cat signed.cab mszip.cab package.cab > /dev/null");  // into the page cache
}

void RemoveOutputs() {
    Run("rm -rf '" + File("out") + "' '" + File("outdir") + "' && mkdir '" + File("outdir") + "'");
}

void BM_VerifyBesideOsslsigncode(benchmark::State& state) {
    ::setenv("VOMO_TRUST_ROOTS", File("ca.pem").c_str(), 1);
    VerifyTrust verifier;
    benchpair::Run(
        state, "verify 256 MiB", "osslsigncode verify",
        [&] { return verifier.Verify(File("signed.cab")) == 0; },
        [] {
            return Run("osslsigncode verify -CAfile '" + File("ca.pem") + "' -in '" +
                       File("signed.cab") + "' > /dev/null 2>&1");
        },
        benchpair::Target{1.2, 0});
}

void BM_Verify1MiBBesideOpensslDgst(benchmark::State& state) {
    ::setenv("VOMO_TRUST_ROOTS", File("ca.pem").c_str(), 1);
    VerifyTrust verifier;
    if (verifier.Verify(File("package.cab")) != 0) {  // the process's first check loads the roots
        state.SkipWithError("the package does not verify");
        return;
    }
    benchpair::Run(
        state, "verify 1 MiB", "openssl dgst -sha256",
        [&] { return verifier.Verify(File("package.cab")) == 0; },
        [] { return Run("openssl dgst -sha256 '" + File("package.cab") + "' > /dev/null"); },
        benchpair::Target{0, 5});
}

void BM_ExtractBesideGcab(benchmark::State& state) {
    ManifestExtractor extractor;
    benchpair::Run(
        state, "extract 256 MiB", "gcab -x",
        [&] {
            return extractor.Extract(Url::FromPath(File("mszip.cab")), Url::FromPath(File("out")));
        },
        [] { return Run("gcab -x -C '" + File("outdir") + "' '" + File("mszip.cab") + "'"); },
        benchpair::Target{1.0, 0}, RemoveOutputs);
}

void BM_ExtractBesideCabextract(benchmark::State& state) {
    ManifestExtractor extractor;
    benchpair::Run(
        state, "extract 256 MiB", "cabextract",
        [&] {
            return extractor.Extract(Url::FromPath(File("mszip.cab")), Url::FromPath(File("out")));
        },
        [] { return Run("cabextract -q -d '" + File("outdir") + "' '" + File("mszip.cab") + "'"); },
        benchpair::Target{1.2, 0}, RemoveOutputs);
}

BENCHMARK(BM_VerifyBesideOsslsigncode)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_Verify1MiBBesideOpensslDgst)->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(BM_ExtractBesideGcab)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_ExtractBesideCabextract)->Unit(benchmark::kMillisecond)->Iterations(6);

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
