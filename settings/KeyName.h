// Key names made from ids (components, groups, pages, plug-ins, members).
#pragma once

#include <string>

namespace vmds {

// True when `id` names exactly one registry key: not empty and free of the path separators
// "\" and "/". An id such as "Setup\Reports" would otherwise address another key.
inline bool IsPlainKeyName(const std::string& id) {
    return !id.empty() && id.find_first_of("\\/") == std::string::npos;
}

// Key names compare without regard to case, as the registry does; for the fixed ASCII names the
// system looks for among stored ones ("Setup", "_private").
inline bool SameKeyName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::string::size_type i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace vmds
