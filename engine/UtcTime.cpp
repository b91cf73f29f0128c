#include "engine/UtcTime.h"

#include <cstdio>
#include <exception>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace {

const boost::posix_time::ptime kEpoch(boost::gregorian::date(1970, 1, 1));

// Reads exactly `count` decimal digits at `pos` and moves past them.
bool Digits(const std::string& text, std::string::size_type& pos, int count, int& value) {
    if (pos + static_cast<std::string::size_type>(count) > text.size()) {
        return false;
    }
    value = 0;
    for (int i = 0; i < count; ++i, ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

bool Take(const std::string& text, std::string::size_type& pos, char wanted) {
    if (pos < text.size() && text[pos] == wanted) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

bool ParseUtcTime(const std::string& text, int64_t& seconds) {
    std::string::size_type pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, pos, 4, year) || !Take(text, pos, '-') || !Digits(text, pos, 2, month) ||
        !Take(text, pos, '-') || !Digits(text, pos, 2, day)) {
        return false;
    }
    int offsetMinutes = 0;
    if (pos < text.size()) {
        if (!Take(text, pos, 'T') || !Digits(text, pos, 2, hour) || !Take(text, pos, ':') ||
            !Digits(text, pos, 2, minute)) {
            return false;
        }
        if (Take(text, pos, ':') && !Digits(text, pos, 2, second)) {
            return false;
        }
        if (Take(text, pos, '.')) {
            const std::string::size_type fraction = pos;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                ++pos;
            }
            if (pos == fraction) {
                return false;
            }
        }
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            const int sign = text[pos++] == '-' ? -1 : 1;
            int offsetHours = 0, offsetMinute = 0;
            if (!Digits(text, pos, 2, offsetHours)) {
                return false;
            }
            Take(text, pos, ':');
            if (!Digits(text, pos, 2, offsetMinute) || offsetHours > 23 || offsetMinute > 59) {
                return false;
            }
            offsetMinutes = sign * (offsetHours * 60 + offsetMinute);
        } else if (!Take(text, pos, 'Z')) {
            return false;  // no offset: a local time
        }
        if (pos != text.size() || hour > 23 || minute > 59 || second > 59) {
            return false;
        }
    }
    if (year < 1970 || month < 1 || month > 12) {
        return false;
    }
    try {
        const boost::gregorian::date date(static_cast<unsigned short>(year),
                                          static_cast<unsigned short>(month),
                                          static_cast<unsigned short>(day));
        const boost::posix_time::ptime time =
            boost::posix_time::ptime(date) + boost::posix_time::hours(hour) +
            boost::posix_time::minutes(minute - offsetMinutes) + boost::posix_time::seconds(second);
        seconds = (time - kEpoch).total_seconds();
    } catch (const std::exception&) {
        return false;  // a day the month does not have
    }
    return true;
}

std::string FormatUtcTime(int64_t seconds) {
    // Whole days and the seconds of the last one: a long of seconds is 32 bits on some systems.
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const boost::posix_time::ptime time = kEpoch + boost::gregorian::days(static_cast<long>(days)) +
                                          boost::posix_time::seconds(static_cast<long>(rest));
    const boost::gregorian::date date = time.date();
    const boost::posix_time::time_duration of = time.time_of_day();
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<int>(date.month()),
                  static_cast<int>(date.day()), static_cast<int>(of.hours()),
                  static_cast<int>(of.minutes()), static_cast<int>(of.seconds()));
    return text;
}
