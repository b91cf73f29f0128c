#include "platform/Folders.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LastError.h"

namespace platform {

bool MakeFolders(const std::string& folder, uint32_t mode) {
    if (folder.empty()) {
        return true;
    }
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return true;
        }
        errno = ENOTDIR;
        return false;
    }
    const std::string::size_type slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash), mode)) {
        return false;
    }
    return ::mkdir(folder.c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST;
}

bool IsTrustworthyFolder(const std::string& folder) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ENOTDIR, "\"" + folder + "\" is not a folder");
        return false;
    }
    if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
        SetLastError(EPERM, "the folder \"" + folder + "\" belongs to another user (uid " +
                                std::to_string(st.st_uid) + ")");
        return false;
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0) {
        SetLastError(
            EPERM, "other users may write the folder \"" + folder + "\", which has no sticky bit");
        return false;
    }
    return true;
}

}  // namespace platform
