#include "platform/Clock.h"

#include <time.h>

// The C run-time's 64-bit time functions, whatever width its time_t has. The run-time's mktime
// knows only the years 1970 to 3000; outside them the time is worked out from the calendar here
// (the proleptic Gregorian one, as the POSIX backend's), in the zone's standard time, so that a
// date long ago is long ago on every platform rather than a failure.

namespace platform {

namespace {

const int64_t kSecondsPerDay = 86400;

int64_t FloorDivide(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days from 1970-01-01 to year-month-day (month 1 to 12).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = FloorDivide(year, 400);
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The calendar date of `days` after 1970-01-01.
void CivilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day) {
    days += 719468;
    const int64_t era = FloorDivide(days, 146097);
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shifted = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// mktime for any year: local standard time, the fields normalised as mktime normalises them.
int64_t MakeFromCalendar(struct tm& local) {
    ::_tzset();
    const long west = _timezone;  // seconds west of UTC, as the run-time has the zone
    const int64_t months = static_cast<int64_t>(local.tm_year) * 12 + local.tm_mon;
    const int64_t year = 1900 + FloorDivide(months, 12);
    const int64_t month = months - FloorDivide(months, 12) * 12;  // 0 to 11
    const int64_t localSeconds =
        (DaysFromCivil(year, month + 1, 1) + local.tm_mday - 1) * kSecondsPerDay +
        static_cast<int64_t>(local.tm_hour) * 3600 + static_cast<int64_t>(local.tm_min) * 60 +
        local.tm_sec;
    const int64_t days = FloorDivide(localSeconds, kSecondsPerDay);
    const int64_t inDay = localSeconds - days * kSecondsPerDay;
    int64_t y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    local.tm_year = static_cast<int>(y - 1900);
    local.tm_mon = static_cast<int>(m - 1);
    local.tm_mday = static_cast<int>(d);
    local.tm_hour = static_cast<int>(inDay / 3600);
    local.tm_min = static_cast<int>(inDay / 60 % 60);
    local.tm_sec = static_cast<int>(inDay % 60);
    local.tm_wday = static_cast<int>(FloorDivide(days + 4, 7) * -7 + days + 4);  // 1970-01-01: Thu
    local.tm_yday = static_cast<int>(days - DaysFromCivil(y, 1, 1));
    local.tm_isdst = 0;
    return localSeconds + west;
}

}  // namespace

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
    struct tm copy = local;
    const __time64_t made = ::_mktime64(&copy);
    if (made != -1) {
        local = copy;
        return static_cast<int64_t>(made);
    }
    return MakeFromCalendar(local);
}

}  // namespace platform
