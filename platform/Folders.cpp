#include "platform/Folders.h"

#include <errno.h>
#include <sys/stat.h>

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

}  // namespace platform
