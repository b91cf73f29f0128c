#include "platform/OsVersion.h"

#include "platform/LastError.h"
#include "platform/WindowsSupport_win32.h"

namespace platform {

bool IsX64Machine() {
    BOOL wow64 = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) {
        win32::RecordLastError("IsWow64Process");
        return false;
    }
    return wow64 != FALSE;
}

// The version the system reports to this process, which is the one VerifyVersionInfoW compares
// against (both follow the compatibility the host program's manifest declares).
bool GetOsVersion(uint32_t& major, uint32_t& minor) {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        win32::RecordLastError("GetVersionExW");
        return false;
    }
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
    return true;
}

bool VerifyOsVersion(uint32_t major, uint32_t minor, uint32_t condition) {
    OSVERSIONINFOEXW wanted = {};
    wanted.dwOSVersionInfoSize = sizeof wanted;  // 284 bytes
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    ULONGLONG mask = 0;
    mask = ::VerSetConditionMask(mask, VER_MAJORVERSION, static_cast<BYTE>(condition));
    mask = ::VerSetConditionMask(mask, VER_MINORVERSION, static_cast<BYTE>(condition));
    if (!::VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION, mask)) {
        win32::RecordLastError("VerifyVersionInfoW");
        return false;
    }
    return true;
}

}  // namespace platform
