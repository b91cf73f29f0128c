// The host program's executable and its folder: the target of /proc/self/exe, or on Windows the
// process module's file name (GetModuleFileNameW).
#pragma once

#include <string>

namespace platform {

// Full path of the running program's executable (the target of /proc/self/exe). False, with the
// last error recorded, when it cannot be read.
bool GetExecutablePath(std::string& path);

// The folder that holds the running program's executable.
bool GetHostDirectory(std::string& directory);

}  // namespace platform
