// Numbers in manifest texts, scanned the way the C run-time's "%u" conversion reads them.
#pragma once

#include <cstdint>
#include <string>

// One "%u" conversion: white space, an optional sign, at least one decimal digit; the value
// narrowed to 32 bits (so "-1" gives 4294967295). False, with `value` untouched, when the text
// holds no number.
bool ScanUnsigned(const std::string& text, uint32_t& value);
