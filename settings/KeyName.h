// Key names made from ids (components, groups, pages, plug-ins, members).
#pragma once

#include <string>

namespace vmds {

// True when `id` names exactly one registry key: not empty and free of the path separators
// "\" and "/". An id such as "Setup\Reports" would otherwise address another key.
inline bool IsPlainKeyName(const std::string& id) {
    return !id.empty() && id.find_first_of("\\/") == std::string::npos;
}

}  // namespace vmds
