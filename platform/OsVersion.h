// The two platform questions of the component platform filter: is this a 64-bit x86 machine,
// and how does the running system's version compare with a required "major.minor".
//
// On Linux the machine is 64-bit x86 when the kernel reports the machine type "x86_64" (what a
// 32-bit process on 64-bit Windows learns from IsWow64Process), and the system's version is the
// first two numbers of the kernel release ("6.1.0-18-amd64" is 6.1), read once per process.
#pragma once

#include <cstdint>

namespace platform {

// Conditions of a version check, with the values of the Windows version-check call.
enum VersionCondition : uint32_t {
    kVersionNoCondition = 0,
    kVersionEqual = 1,
    kVersionGreater = 2,
    kVersionGreaterEqual = 3,
    kVersionLess = 4,
    kVersionLessEqual = 5,
};

// True when the machine is 64-bit x86.
bool IsX64Machine();

// The running system's major and minor version; false when it cannot be learnt.
bool GetOsVersion(uint32_t& major, uint32_t& minor);

// How the version check decides: (runMajor, runMinor) against (major, minor), the major
// numbers first and the minor numbers only when the majors are equal, under `condition`.
// A condition outside 1 to 5 makes the check fail, as the Windows call fails with a condition
// of 0.
bool CompareVersion(uint32_t runMajor, uint32_t runMinor, uint32_t major, uint32_t minor,
                    uint32_t condition);

// CompareVersion with the running system's version; false when that version is unknown.
bool VerifyOsVersion(uint32_t major, uint32_t minor, uint32_t condition);

}  // namespace platform
