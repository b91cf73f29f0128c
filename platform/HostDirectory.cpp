#include "platform/HostDirectory.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/LastError.h"

namespace platform {

bool GetExecutablePath(std::string& path) {
    // readlink does not say whether the name was cut short, so the buffer grows until the
    // name fits with room to spare.
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            SetLastErrorFromErrno();
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            path.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        if (buffer.size() >= (1u << 20)) {
            errno = ENAMETOOLONG;
            SetLastErrorFromErrno();
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool GetHostDirectory(std::string& directory) {
    std::string path;
    if (!GetExecutablePath(path)) {
        return false;
    }
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        directory = ".";
    } else {
        directory = slash == 0 ? std::string("/") : path.substr(0, slash);
    }
    return true;
}

}  // namespace platform
