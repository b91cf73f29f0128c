// Opening a file by its path (UTF-8) for reading its bytes through the C run-time's FILE: the
// manifest's XML parser and the package readers take one.
//
// The file is opened in binary mode, shared with other readers and writers (deny none), and is
// not inherited by programs this process starts. On Windows the path reaches the system as
// UTF-16 (the narrow calls would read it in the ANSI code page).
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// The open file, or null (the calling thread's last error says why).
std::FILE* OpenInputFile(const std::string& path);

}  // namespace platform
