// Paired measurements for the benchmarks that set our code beside another tool doing the same
// work: each iteration runs both, in alternating order, so that both meet the same load on a
// shared machine. The figures are medians: wall-clock time, which the targets are about (on a
// quiet machine), and processor time (this process's threads and the child processes it waited
// for), which a busy machine disturbs less. Each report line also gives the load average.
#pragma once

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace benchpair {

struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
};

inline double CpuMs() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        struct rusage usage;
        if (::getrusage(who, &usage) == 0) {
            total += usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
                     usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
        }
    }
    return total;
}

// Runs `body` once; `ok` turns false when it fails.
inline Sample Measure(const std::function<bool()>& body, bool& ok) {
    const double cpu = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    ok = body() && ok;
    Sample sample;
    sample.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    sample.cpuMs = CpuMs() - cpu;
    return sample;
}

inline double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline bool RunShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline double LoadAverage() {
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

// What a comparison is held to: ours at most `ratio` times theirs, or, with `slackMs` set, at
// most theirs plus that many milliseconds.
struct Target {
    double ratio = 0;
    double slackMs = 0;
};

// One iteration per state iteration: ours and theirs in alternating order, `between` (may be
// empty) before each run, outside the measurement. Reports the medians as counters and prints
// one line: "<what>: <ours> ms beside <theirName> <theirs> ms: <ratio>x (target ...) met".
inline void Run(benchmark::State& state, const std::string& what, const std::string& theirName,
                const std::function<bool()>& ours, const std::function<bool()>& theirs,
                const Target& target, const std::function<void()>& between = {}) {
    std::vector<Sample> oursSamples;
    std::vector<Sample> theirSamples;
    bool ok = true;
    int64_t n = 0;
    const auto runOne = [&](bool ourTurn) {
        if (between) {
            between();
        }
        (ourTurn ? oursSamples : theirSamples).push_back(Measure(ourTurn ? ours : theirs, ok));
    };
    for (auto _ : state) {
        const bool oursFirst = n++ % 2 == 0;
        runOne(oursFirst);
        runOne(!oursFirst);
    }
    if (!ok) {
        state.SkipWithError("a run failed");
        return;
    }
    std::vector<double> oursWall, theirWall, oursCpu, theirCpu;
    for (const Sample& s : oursSamples) {
        oursWall.push_back(s.wallMs);
        oursCpu.push_back(s.cpuMs);
    }
    for (const Sample& s : theirSamples) {
        theirWall.push_back(s.wallMs);
        theirCpu.push_back(s.cpuMs);
    }
    const double ourMs = Median(oursWall);
    const double theirMs = Median(theirWall);
    const double ourCpu = Median(oursCpu);
    const double theirCpuMs = Median(theirCpu);
    const double load = LoadAverage();
    state.counters["ours_ms"] = ourMs;
    state.counters["theirs_ms"] = theirMs;
    state.counters["ratio"] = theirMs > 0 ? ourMs / theirMs : 0;
    state.counters["ours_cpu_ms"] = ourCpu;
    state.counters["theirs_cpu_ms"] = theirCpuMs;
    state.counters["cpu_ratio"] = theirCpuMs > 0 ? ourCpu / theirCpuMs : 0;
    state.counters["load"] = load;
    std::string goal;
    bool met;
    char text[96];
    if (target.slackMs > 0) {
        std::snprintf(text, sizeof text, "target: within %.0f ms", target.slackMs);
        met = ourMs <= theirMs + target.slackMs;
    } else {
        std::snprintf(text, sizeof text, "target: at most %.2fx", target.ratio);
        met = ourMs <= target.ratio * theirMs;
    }
    goal = text;
    std::printf(
        "%-28s %9.1f ms beside %-22s %9.1f ms: %5.2fx, %+8.1f ms (%s) %s   [cpu %.1f / %.1f ms: "
        "%.2fx; load %.2f; %d pairs]\n",
        what.c_str(), ourMs, theirName.c_str(), theirMs, theirMs > 0 ? ourMs / theirMs : 0,
        ourMs - theirMs, goal.c_str(), met ? "met" : "MISSED", ourCpu, theirCpuMs,
        theirCpuMs > 0 ? ourCpu / theirCpuMs : 0, load, static_cast<int>(oursSamples.size()));
    std::fflush(stdout);
}

}  // namespace benchpair
