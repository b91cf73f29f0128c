// The expiry `vomo-dist manifest --expires` writes into the manifest it signs.
#pragma once

#include <cstdint>
#include <string>

// The instant an --expires text names, in seconds since the epoch: a span from `now` ("14d"
// days, "36h" hours; a positive whole number) or a UTC date and time in ISO 8601
// ("2025-07-01", "2025-07-01T12:00:00Z"). False for any other text.
bool ParseExpiresOption(const std::string& text, int64_t now, int64_t& expiry);

// `xml` with the attribute `name` of its document element set to `value` (replaced where it
// stands, else added after the element's name); nothing else of the text changes, its lines
// included. False when no document element is found.
bool SetRootAttribute(const std::string& xml, const std::string& name, const std::string& value,
                      std::string& result);
