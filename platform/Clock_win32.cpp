#include "platform/Clock.h"

#include <time.h>

namespace platform {

// The C run-time's 64-bit time functions, whatever width its time_t has.

int64_t CurrentTime() {
    return static_cast<int64_t>(::_time64(nullptr));
}

bool LocalTimeOf(int64_t t, struct tm& out) {
    const __time64_t value = static_cast<__time64_t>(t);
    return ::_localtime64_s(&out, &value) == 0;
}

bool UtcTimeOf(int64_t t, struct tm& out) {
    const __time64_t value = static_cast<__time64_t>(t);
    return ::_gmtime64_s(&out, &value) == 0;
}

int64_t MakeLocalTime(struct tm& local) {
    return static_cast<int64_t>(::_mktime64(&local));
}

}  // namespace platform
