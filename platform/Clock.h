// Calendar time of the platform: a 64-bit time value, its local broken-down form and back.
// <ctime>'s struct tm is the broken-down layout (month 0 to 11, years since 1900). Any year can
// be converted, also where the C run-time's own mktime stops (on Windows, before 1970).
#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

// Seconds since the epoch, 64-bit.
int64_t CurrentTime();

// Local broken-down time of `t` into `out`; false when the time cannot be represented.
bool LocalTimeOf(int64_t t, struct tm& out);

// Universal (UTC) broken-down time of `t` into `out`; false when the time cannot be represented.
bool UtcTimeOf(int64_t t, struct tm& out);

// Calendar time of a local broken-down time (normalising it as mktime does); -1 on failure.
int64_t MakeLocalTime(struct tm& local);

}  // namespace platform
