// Shared pieces of the download tests: an observer that records every report, test data and
// waiting for a condition.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "packages/ISyncDownloadCB.h"

namespace testsupport {

struct ProgressReport {
    uint32_t progress;
    uint32_t progressMax;
    uint32_t state;
    std::string text;
};

class RecordingObserver : public ISyncDownloadCB {
public:
    // The observer answers false from report number `stopAt` on (1 is the first report).
    explicit RecordingObserver(size_t stopAt = 0) : stopAt_(stopAt) {}

    bool OnProgress(uint32_t progress, uint32_t progressMax, uint32_t state,
                    const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        reports_.push_back(ProgressReport{progress, progressMax, state, text});
        return stopAt_ == 0 || reports_.size() < stopAt_;
    }
    std::vector<ProgressReport> Reports() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reports_;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reports_.size();
    }

private:
    std::mutex mutex_;
    std::vector<ProgressReport> reports_;
    size_t stopAt_;
};

// `size` bytes of every value, in an order that no off-by-one copy reproduces.
inline std::string TestBytes(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 2463534242u;
    for (char& c : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state);
    }
    return bytes;
}

// Polls `condition` until it holds or `limit` passed; its last answer.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace testsupport
