// Which road a program started with administrator rights takes, and the check of the program
// that the system's elevation tool is allowed to start.
//
// A process that already has the rights (root; on Windows an elevated member of the
// Administrators group) starts such a program as any other. Any other process goes through the
// system's elevation tool: pkexec on POSIX, the shell's "runas" verb on Windows
// (platform/Process.h).
//
// Any thread.
#pragma once

#include <string>

namespace platform {

// Whether a program started elevated goes through the system's elevation tool: the process
// lacks the rights, or a test asked for the tool's road (below).
bool ElevationGoesThroughTool();

// For tests, which run as root: takes the elevation tool's road even with the rights, so that
// a stand-in tool can show what a user's process would do. Not for hosts.
void TakeElevationToolRoadForTests(bool take);

// Whether the program at `path` is one only the super-user can change, and so one that the
// elevation tool may be asked to start with the super-user's rights: a regular file (not a
// link) that is executable, owned by root, and writable by neither its group nor others. False,
// with the calling thread's last error (LastError.h) saying why, otherwise. On Windows, where
// no such helper program is used, always false.
bool IsSuperUserProgram(const std::string& path);

}  // namespace platform
