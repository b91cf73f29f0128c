// Environment variables of the process.
#pragma once

#include <string>

namespace platform {

// The value of `name` when it is set (possibly empty); false when it is not set.
bool GetEnvironmentText(const std::string& name, std::string& value);

// A per-user base folder as the XDG base-directory rules give it: the value of `variable` when
// it is an absolute path, else $HOME followed by "/" and `homeRelative`; empty when neither
// gives one.
std::string UserBaseDirectory(const std::string& variable, const std::string& homeRelative);

// Whether the process runs with the super-user's rights.
bool IsSuperUser();

}  // namespace platform
