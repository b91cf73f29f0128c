// The one ASCII case fold of the code base, for the fixed ASCII names the system compares
// without regard to case (registry key and value names it looks for, XML declarations, reg.exe
// switches). Bytes outside A to Z, UTF-8 sequences included, are left as they are; the result
// never depends on the C library's locale.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when `a` and `b` are equal once A to Z are folded to a to z.
inline bool AsciiEqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace platform
