// Which road a program started with administrator rights takes.
//
// A process that already has the rights (root; on Windows an elevated member of the
// Administrators group) starts such a program as any other. Any other process goes through the
// system's elevation tool: pkexec on POSIX, the shell's "runas" verb on Windows
// (platform/Process.h).
//
// Any thread.
#pragma once

namespace platform {

// Whether a program started elevated goes through the system's elevation tool: the process
// lacks the rights, or a test asked for the tool's road (below).
bool ElevationGoesThroughTool();

// For tests, which run as root: takes the elevation tool's road even with the rights, so that
// a stand-in tool can show what a user's process would do. Not for hosts.
void TakeElevationToolRoadForTests(bool take);

}  // namespace platform
