// Download of a 256 MiB file from a local HTTP server: SyncDownload without an observer, with
// an observer that keeps each report under a lock (as a background download does), and the
// curl command line fetching the same file from the same server for comparison. Wall-clock
// times; the target is a new file in $TMPDIR (or /tmp) each time.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <boost/thread/lock_guard.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "packages/SyncDownload.h"
#include "tests/support/LocalHttpServer.h"

namespace {

const size_t kFileSize = 256u * 1024 * 1024;

struct Setup {
    Setup() {
        testsupport::HttpReply reply;
        reply.body = std::make_shared<std::string>(kFileSize, 'v');
        server.Route("/big.bin", reply);
        url = server.Url("/big.bin");
        const char* tmp = std::getenv("TMPDIR");
        target = std::string(tmp && *tmp ? tmp : "/tmp") + "/vcm-bench-download-" +
                 std::to_string(::getpid());
    }
    testsupport::LocalHttpServer server;
    std::string url;
    std::string target;
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

class LockingObserver : public ISyncDownloadCB {
public:
    bool OnProgress(uint32_t progress, uint32_t progressMax, uint32_t state,
                    const std::string& text) override {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        progress_ = progress;
        progressMax_ = progressMax;
        state_ = state;
        text_ = text;
        ++reports_;
        return true;
    }
    uint64_t reports_ = 0;

private:
    boost::recursive_mutex mutex_;
    uint32_t progress_ = 0;
    uint32_t progressMax_ = 0;
    uint32_t state_ = 0;
    std::string text_;
};

void Finish(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kFileSize));
}

void BM_SyncDownload(benchmark::State& state) {
    Setup& setup = Shared();
    LockingObserver observer;
    const boost::shared_ptr<ISyncDownload> download = CreateSyncDownload();
    if (state.range(0) != 0) {
        download->SetCallback(&observer);
    }
    for (auto _ : state) {
        if (!download->Download(Url(setup.url), Url::FromPath(setup.target))) {
            state.SkipWithError("download failed");
            break;
        }
        state.PauseTiming();
        ::unlink(setup.target.c_str());
        state.ResumeTiming();
    }
    state.counters["reports"] = benchmark::Counter(static_cast<double>(observer.reports_),
                                                   benchmark::Counter::kAvgIterations);
    Finish(state);
}

void BM_CurlCommandLine(benchmark::State& state) {
    Setup& setup = Shared();
    const std::string command = "curl -sS --fail -o '" + setup.target + "' '" + setup.url + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        ::unlink(setup.target.c_str());
        state.ResumeTiming();
    }
    Finish(state);
}

BENCHMARK(BM_CurlCommandLine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(3);
BENCHMARK(BM_SyncDownload)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("observer")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(3);

}  // namespace

BENCHMARK_MAIN();
