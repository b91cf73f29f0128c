// The times of downloads that both backends of Download.h share: the stall limit and the wait
// before a second try, as the test hooks of Download.h may have replaced them, and a duration
// as the failure reasons write it. Any thread.
#pragma once

#include <chrono>
#include <string>

namespace platform {

// kDownloadStallTimeoutSeconds, or what SetDownloadStallTimeoutForTesting set.
std::chrono::milliseconds DownloadStallLimit();
// kDownloadFirstRetryDelayMilliseconds, or what SetDownloadRetryDelayForTesting set.
std::chrono::milliseconds DownloadFirstRetryDelay();
// "60 s", "0.3 s".
std::string DurationText(std::chrono::milliseconds duration);

}  // namespace platform
