// Environment variables of the process (on Windows read as UTF-16 and handed out as UTF-8), and
// who the process runs as.
#pragma once

#include <string>

namespace platform {

// The value of `name` when it is set (possibly empty); false when it is not set.
bool GetEnvironmentText(const std::string& name, std::string& value);

// A per-user base folder as the XDG base-directory rules give it: the value of `variable` when
// it is an absolute path, else $HOME followed by "/" and `homeRelative`; empty when neither
// gives one. On Windows the user's profile folder (USERPROFILE) stands for $HOME.
std::string UserBaseDirectory(const std::string& variable, const std::string& homeRelative);

// Whether the process runs with the super-user's rights: root on POSIX, an enabled membership of
// the Administrators group on Windows (an elevated token under user account control).
bool IsSuperUser();

}  // namespace platform
