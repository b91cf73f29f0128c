// Key names made from ids (components, groups, pages, plug-ins, members).
#pragma once

#include <string>

#include "platform/AsciiCase.h"

namespace vmds {

// True when `id` names exactly one registry key: not empty and free of the path separators
// "\" and "/". An id such as "Setup\Reports" would otherwise address another key.
inline bool IsPlainKeyName(const std::string& id) {
    return !id.empty() && id.find_first_of("\\/") == std::string::npos;
}

// Key names compare without regard to case, as the registry does; for the fixed ASCII names the
// system looks for among stored ones ("Setup", "_private").
inline bool SameKeyName(const std::string& a, const std::string& b) {
    return platform::AsciiEqualNoCase(a, b);
}

// The key below "Install" that holds the product's own keys (bundle groups, install groups,
// unique-install records, stored pings, the wizard layout, plug-ins) and the product's
// "InstallDir". It is not a component.
constexpr char kSetupKeyName[] = "Setup";

// True when `id` may name a component's key "Install\<id>": a plain key name other than the
// product's own key, in any case (the registry compares names without case). A component called
// "Setup" would otherwise read, overwrite or delete everything the product keeps there.
inline bool IsComponentKeyName(const std::string& id) {
    return IsPlainKeyName(id) && !SameKeyName(id, kSetupKeyName);
}

}  // namespace vmds
