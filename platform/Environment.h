// Environment variables of the process (on Windows read as UTF-16 and handed out as UTF-8), and
// who the process runs as.
//
// A host that runs with rights its caller lacks (a setuid or setcap program, which the C library
// marks as running in secure mode) reads no variable at all: every one reads as not set, as
// secure_getenv answers, so that the calling user can choose neither the trusted certificate
// authorities nor the addresses, folders or registry the host uses. Windows has no such
// programs: its variables are always read.
#pragma once

#include <string>

namespace platform {

// The value of `name` when it is set (possibly empty); false when it is not set, or when the
// process runs in secure mode (above).
bool GetEnvironmentText(const std::string& name, std::string& value);

// A per-user base folder as the XDG base-directory rules give it: the value of `variable` when
// it is an absolute path, else $HOME followed by "/" and `homeRelative`; empty when neither
// gives one. In secure mode, where no variable is read, the home folder is the one the user
// database gives the effective user. On Windows the user's profile folder (USERPROFILE) stands
// for $HOME.
std::string UserBaseDirectory(const std::string& variable, const std::string& homeRelative);

// Whether the process runs with the super-user's rights: root on POSIX, an enabled membership of
// the Administrators group on Windows (an elevated token under user account control).
bool IsSuperUser();

}  // namespace platform
