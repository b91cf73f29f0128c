#include "tools/vcm-elevate/RootFolder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <boost/filesystem/operations.hpp>

#include "platform/LastError.h"
#include "platform/TempFile.h"

namespace elevate {

namespace {

// Parents of the work folder, in the order they are tried: a disk first, since a package may be
// large; /run (memory) when /var/cache cannot be used.
const char* const kParents[] = {"/var/cache", "/run"};
const char kFolderName[] = "/vcm-elevate-XXXXXX";
const size_t kCopyBytes = 1 << 20;

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A folder owned by root that nobody else may write.
bool IsRootsFolder(const char* path) {
    struct stat info;
    return ::lstat(path, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == 0 &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

RootFolder::~RootFolder() {
    if (!path_.empty()) {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(path_, ignored);
    }
}

bool RootFolder::Make(std::string& reason) {
    reason = "no folder that only root may write: /var/cache and /run cannot be used";
    for (const char* parent : kParents) {
        if (!IsRootsFolder(parent)) {
            continue;
        }
        std::string pattern = std::string(parent) + kFolderName;
        if (::mkdtemp(&pattern[0])) {  // mode 0700
            path_ = pattern;
            return true;
        }
        reason = ErrnoText("cannot make a folder in " + std::string(parent));
    }
    return false;
}

bool CopyPackage(const std::string& source, const std::string& destination, uint64_t limit,
                 const boost::function<bool()>& stop, std::string& reason) {
    // O_NONBLOCK: a FIFO under the name is opened without waiting for a writer, then refused.
    const int in = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        reason = ErrnoText("cannot open the package " + source);
        return false;
    }
    const std::unique_ptr<const int, void (*)(const int*)> closer(
        &in, [](const int* fd) { ::close(*fd); });
    struct stat info;
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = "the package " + source + " is not a regular file";
        return false;
    }
    const std::string tooLarge =
        "the package " + source + " is larger than " + std::to_string(limit) + " bytes";
    if (static_cast<uint64_t>(info.st_size) > limit) {
        reason = tooLarge;
        return false;
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);
    platform::ExclusiveFile out;  // created exclusively, mode 0600, never through a link
    if (!out.Create(destination)) {
        reason = "cannot make " + destination + ": " + platform::GetLastErrorText();
        return false;
    }
    std::vector<char> buffer(kCopyBytes);
    uint64_t copied = 0;
    for (;;) {
        if (stop && stop()) {
            reason = "stopped by a signal";
            break;
        }
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            reason = ErrnoText("cannot read the package " + source);
            break;
        }
        if (n == 0) {
            if (out.Close()) {
                return true;
            }
            reason = "cannot write " + destination + ": " + platform::GetLastErrorText();
            break;
        }
        copied += static_cast<uint64_t>(n);
        if (copied > limit) {  // it grew meanwhile
            reason = tooLarge;
            break;
        }
        if (!out.Write(buffer.data(), static_cast<size_t>(n))) {
            reason = "cannot write " + destination + ": " + platform::GetLastErrorText();
            break;
        }
    }
    out.Discard();
    return false;
}

}  // namespace elevate
