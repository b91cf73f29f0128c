#include "tools/vcm-elevate/RootFolder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <boost/filesystem/operations.hpp>

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

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
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
    Descriptor in(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat info;
    if (in.Get() < 0 || ::fstat(in.Get(), &info) != 0) {
        reason = ErrnoText("cannot open the package " + source);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "the package " + source + " is not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(info.st_size) > limit) {
        reason = "the package " + source + " is larger than " + std::to_string(limit) + " bytes";
        return false;
    }
    ::fcntl(in.Get(), F_SETFL, ::fcntl(in.Get(), F_GETFL) & ~O_NONBLOCK);
    Descriptor out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR));
    if (out.Get() < 0) {
        reason = ErrnoText("cannot make " + destination);
        return false;
    }
    std::vector<char> buffer(kCopyBytes);
    uint64_t copied = 0;
    bool done = false;
    while (!done) {
        if (stop && stop()) {
            reason = "stopped by a signal";
            break;
        }
        const ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            reason = ErrnoText("cannot read the package " + source);
            break;
        }
        if (n == 0) {
            done = true;
            break;
        }
        copied += static_cast<uint64_t>(n);
        if (copied > limit) {  // it grew meanwhile
            reason =
                "the package " + source + " is larger than " + std::to_string(limit) + " bytes";
            break;
        }
        if (!WriteAll(out.Get(), buffer.data(), static_cast<size_t>(n))) {
            reason = ErrnoText("cannot write " + destination);
            break;
        }
    }
    if (!done) {
        ::unlink(destination.c_str());
    }
    return done;
}

}  // namespace elevate
