// The road of an installer package to root's rights for a process without them.
//
// pkexec opens the program it is given only once an administrator has authenticated, and any
// process of the user could change a file of the user meanwhile; so the package launcher never
// hands pkexec a file of the user. pkexec starts vcm-elevate (ElevationHelper.h), the library's
// own helper, installed root-owned in the library's libexec folder and found through the
// install prefix the library was built for, never through PATH. The helper copies the package
// into a folder only root can write, checks there, with the library's own verifier, that the
// copy is the file the caller verified (its SHA-256) and that it carries an accepted signature,
// and only then unpacks and runs the installer, whose output it passes on. Nothing a user can
// write is ever run as root.
//
// The exit status is read back into the launcher's terms: the installer's own exit code; or
// kLaunchRefused when the helper refused the package (its digest or signature), with the reason
// as the calling thread's last error ("the package is no longer the file whose signature was
// checked" for a digest that differs); or kLaunchFailed when no installer ran or its end was
// not seen (pkexec missing, refused or cancelled, the helper missing or not root's, or the
// helper's own failure), with the reason as the last error. A code of pkexec or of the helper
// is never taken for the installer's.
//
// Where no helper exists (the Windows build), HelperPath is empty and the launcher starts the
// program through the system's elevation itself (platform/Process.h).
#pragma once

#include <cstdint>
#include <string>

#include "packages/IRedirector.h"

// Outcomes of a launch that are not an exit code.
const int32_t kLaunchFailed = -1;   // no installer ran, or its end was not seen
const int32_t kLaunchRefused = -2;  // the elevated side refused the package

namespace elevation {

// The helper's absolute path as the library was built (the install prefix's libexec folder,
// "vcm/vcm-elevate" below it); empty where no helper is used.
std::string HelperPath();
// For tests: the helper to use instead (empty: the built-in path again). Not for hosts.
void SetHelperPathForTests(const std::string& path);

}  // namespace elevation

// Passes an installer's exit code on, noting as the calling thread's last error, for a code
// that is neither success (0) nor success with a restart (4), "the installer ended with exit
// code N", which the caller words its failure with.
int32_t NoteInstallerExit(int32_t exitCode);

// Runs the installer package `package` of component `componentId` as root through pkexec and
// the helper, with the installer's argument text `arguments`. `sha256Hex` is the SHA-256 the
// caller verified the package with (64 hexadecimal digits), which the helper's copy must have.
// `redirector` must start its programs elevated. The installer's exit code, kLaunchRefused or
// kLaunchFailed (above).
int32_t LaunchThroughHelper(IRedirector& redirector, const std::string& package,
                            const std::string& componentId, const std::string& sha256Hex,
                            const std::string& arguments);
