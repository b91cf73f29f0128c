#include "platform/HostDirectory.h"

#include <vector>

#include "platform/LastError.h"
#include "platform/WindowsSupport_win32.h"

namespace platform {

namespace {

// Long enough for any path the system gives a module (32767 units less the "\\?\" prefix).
const DWORD kModuleNameUnits = 32760;

}  // namespace

bool GetExecutablePath(std::string& path) {
    std::vector<wchar_t> buffer(kModuleNameUnits);
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), kModuleNameUnits);
    if (length == 0 || length >= kModuleNameUnits) {
        win32::RecordLastError("the program's file name cannot be read");
        return false;
    }
    path = win32::Narrow(buffer.data(), length);
    return true;
}

bool GetHostDirectory(std::string& directory) {
    std::string path;
    if (!GetExecutablePath(path)) {
        return false;
    }
    const std::string::size_type separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        directory = ".";
    } else if (separator == 2 && path[1] == ':') {
        directory = path.substr(0, 3);  // a program at the root of a drive: "C:\"
    } else {
        directory = path.substr(0, separator);
    }
    return true;
}

}  // namespace platform
