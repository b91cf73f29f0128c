// Environment variables of the process.
#pragma once

#include <string>

namespace platform {

// The value of `name` when it is set (possibly empty); false when it is not set.
bool GetEnvironmentText(const std::string& name, std::string& value);

}  // namespace platform
