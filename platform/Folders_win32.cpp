#include "platform/Folders.h"

#include <errno.h>

#include "platform/WindowsSupport_win32.h"

namespace platform {

// Windows folders have no permission bits: `mode` is ignored, and a new folder takes the
// access rules its parent passes on. errno is set as on POSIX.
bool MakeFolders(const std::string& folder, uint32_t /*mode*/) {
    if (folder.empty()) {
        return true;
    }
    std::wstring wide;
    if (!win32::WidePath(folder, wide)) {
        errno = EINVAL;
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return true;
        }
        errno = ENOTDIR;
        return false;
    }
    const std::string::size_type separator = folder.find_last_of("/\\");
    // "C:" and "\\server\share" need no making; a parent that is only that is left alone.
    if (separator != std::string::npos && separator > 0) {
        const std::string parent = folder.substr(0, separator);
        const bool isRoot = parent.size() == 2 && parent[1] == ':';
        if (!isRoot && !MakeFolders(parent, 0)) {
            return false;
        }
    }
    if (::CreateDirectoryW(wide.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        return true;
    }
    const DWORD error = ::GetLastError();
    errno = error == ERROR_ACCESS_DENIED    ? EACCES
            : error == ERROR_PATH_NOT_FOUND ? ENOENT
            : error == ERROR_DIRECTORY      ? ENOTDIR
            : error == ERROR_INVALID_NAME   ? EINVAL
            : error == ERROR_DISK_FULL      ? ENOSPC
                                            : EIO;
    return false;
}

// Windows folders are guarded by access lists, not by owners and permission bits: an existing
// folder passes.
bool IsTrustworthyFolder(const std::string& folder) {
    std::wstring wide;
    if (!win32::WidePath(folder, wide)) {
        win32::RecordError(ERROR_INVALID_NAME, folder);
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        win32::RecordError(
            attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_DIRECTORY, folder);
        return false;
    }
    return true;
}

}  // namespace platform
