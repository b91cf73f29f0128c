#include "platform/OsVersion.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstring>

#include "platform/LastError.h"

namespace platform {

bool IsX64Machine() {
    struct utsname name;
    if (uname(&name) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return std::strcmp(name.machine, "x86_64") == 0;
}

bool GetOsVersion(uint32_t& major, uint32_t& minor) {
    struct utsname name;
    if (uname(&name) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    unsigned int a = 0;
    unsigned int b = 0;
    if (std::sscanf(name.release, "%u.%u", &a, &b) < 1) {
        SetLastError(0, "unrecognised kernel release");
        return false;
    }
    major = a;
    minor = b;
    return true;
}

bool VerifyOsVersion(uint32_t major, uint32_t minor, uint32_t condition) {
    uint32_t runMajor = 0;
    uint32_t runMinor = 0;
    if (!GetOsVersion(runMajor, runMinor)) {
        return false;
    }
    return CompareVersion(runMajor, runMinor, major, minor, condition);
}

}  // namespace platform
