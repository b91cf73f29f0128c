#include "platform/OsVersion.h"

#include <sys/utsname.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/LastError.h"

namespace platform {

namespace {

// The running system's names, read once: they cannot change while the process runs, and the
// manifest load asks for them once per component.
struct SystemNames {
    int error = 0;
    struct utsname names;

    SystemNames() { error = ::uname(&names) == 0 ? 0 : errno; }
};

const struct utsname* Names() {
    static const SystemNames system;
    if (system.error != 0) {
        errno = system.error;
        SetLastErrorFromErrno();
        return nullptr;
    }
    return &system.names;
}

}  // namespace

bool IsX64Machine() {
    const struct utsname* name = Names();
    return name && std::strcmp(name->machine, "x86_64") == 0;
}

bool GetOsVersion(uint32_t& major, uint32_t& minor) {
    const struct utsname* name = Names();
    if (!name) {
        return false;
    }
    unsigned int a = 0;
    unsigned int b = 0;
    if (std::sscanf(name->release, "%u.%u", &a, &b) < 1) {
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
