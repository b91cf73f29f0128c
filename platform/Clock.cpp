#include "platform/Clock.h"

#include <time.h>

namespace platform {

int64_t CurrentTime() {
    return static_cast<int64_t>(::time(nullptr));
}

bool LocalTimeOf(int64_t t, struct tm& out) {
    const time_t value = static_cast<time_t>(t);
    return ::localtime_r(&value, &out) != nullptr;
}

bool UtcTimeOf(int64_t t, struct tm& out) {
    const time_t value = static_cast<time_t>(t);
    return ::gmtime_r(&value, &out) != nullptr;
}

int64_t MakeLocalTime(struct tm& local) {
    return static_cast<int64_t>(::mktime(&local));
}

}  // namespace platform
