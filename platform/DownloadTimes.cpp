#include "platform/DownloadTimes.h"

#include <atomic>
#include <cstdio>

#include "platform/Download.h"

namespace platform {

namespace {

std::atomic<uint32_t> stallOverrideMilliseconds(0);
std::atomic<uint32_t> retryDelayOverrideMilliseconds(0);

}  // namespace

std::chrono::milliseconds DownloadStallLimit() {
    const uint32_t overridden = stallOverrideMilliseconds.load();
    if (overridden != 0) {
        return std::chrono::milliseconds(overridden);
    }
    return std::chrono::seconds(kDownloadStallTimeoutSeconds);
}

std::chrono::milliseconds DownloadFirstRetryDelay() {
    const uint32_t overridden = retryDelayOverrideMilliseconds.load();
    return std::chrono::milliseconds(overridden != 0 ? overridden
                                                     : kDownloadFirstRetryDelayMilliseconds);
}

std::string DurationText(std::chrono::milliseconds duration) {
    char text[32];
    if (duration.count() % 1000 == 0) {
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(duration.count() / 1000));
    } else {
        std::snprintf(text, sizeof text, "%.1f s", duration.count() / 1000.0);
    }
    return text;
}

void SetDownloadStallTimeoutForTesting(uint32_t milliseconds) {
    stallOverrideMilliseconds.store(milliseconds);
}

void SetDownloadRetryDelayForTesting(uint32_t milliseconds) {
    retryDelayOverrideMilliseconds.store(milliseconds);
}

}  // namespace platform
