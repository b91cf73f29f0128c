#include "platform/Clock.h"

#include <time.h>

#include <mutex>

namespace platform {

namespace {

// The C library serialises its time-zone state with a lock of its own, which ThreadSanitizer
// cannot see (the library is not instrumented), so two threads converting local times at once
// (two cabinets extracted side by side) look like a race to it. Taking this lock as well keeps
// the sanitizer's view right; the conversions are short.
std::mutex g_timeZoneMutex;

}  // namespace

int64_t CurrentTime() {
    return static_cast<int64_t>(::time(nullptr));
}

bool LocalTimeOf(int64_t t, struct tm& out) {
    const time_t value = static_cast<time_t>(t);
    std::lock_guard<std::mutex> lock(g_timeZoneMutex);
    return ::localtime_r(&value, &out) != nullptr;
}

bool UtcTimeOf(int64_t t, struct tm& out) {
    const time_t value = static_cast<time_t>(t);
    return ::gmtime_r(&value, &out) != nullptr;
}

int64_t MakeLocalTime(struct tm& local) {
    std::lock_guard<std::mutex> lock(g_timeZoneMutex);
    return static_cast<int64_t>(::mktime(&local));
}

}  // namespace platform
