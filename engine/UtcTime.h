// UTC dates and times as the manifest writes them (ISO 8601), and seconds since the epoch.
#pragma once

#include <cstdint>
#include <string>

// Reads an ISO 8601 date and time with its offset from UTC into seconds since
// 1970-01-01T00:00:00Z: "2025-07-01T12:00:00Z", "2025-07-01T12:00Z", with a fraction of a
// second ("12:00:00.250Z", dropped), or an offset instead of "Z" ("14:00:00+02:00",
// "14:00:00+0200"). A date alone ("2025-07-01") is the start of that day in UTC. Years run from
// 1970 to 9999. False, with `seconds` untouched, for any other text: a time without an offset
// (a local time, whose instant nobody can tell), blanks, a day that the month does not have.
bool ParseUtcTime(const std::string& text, int64_t& seconds);

// "2025-07-01T12:00:00Z".
std::string FormatUtcTime(int64_t seconds);
