#include "platform/LogFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/Environment.h"
#include "platform/Folders.h"
#include "platform/LastError.h"

namespace platform {

namespace {

const char kFileName[] = "install.log";

// Closes a descriptor when it goes out of scope (the lock goes with it).
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
    void Reset(int fd) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

// Opens the log for appending. Never a link (O_NOFOLLOW), and never anything but a regular
// file: a FIFO planted under the name would block the open until a reader came (O_NONBLOCK
// makes that fail at once) and raise SIGPIPE in the host once its reader left.
int OpenForAppend(const std::string& path) {
    const int fd = ::open(
        path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        return fd;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// The folder of the file at `path`.
std::string FolderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : path.substr(0, slash);
}

bool Failed() {
    SetLastErrorFromErrno();
    return false;
}

}  // namespace

std::string InstallLogPath() {
    std::string folder;
    if (!GetEnvironmentText("VOMO_LOG_DIR", folder) || folder.empty()) {
        if (IsSuperUser()) {
            folder = "/var/log/vomo";
        } else {
            const std::string state = UserBaseDirectory("XDG_STATE_HOME", ".local/state");
            if (state.empty()) {
                return std::string();
            }
            folder = state + "/vomo";
        }
    }
    return folder + "/" + kFileName;
}

bool AppendToLog(const std::string& path, const std::string& text) {
    if (path.empty()) {
        errno = ENOENT;
        return Failed();
    }
    // The folder is judged before anything is made in it: in a folder that another user owns,
    // or may write without the sticky bit, that user could swap the file for a link.
    const std::string folder = FolderOf(path);
    if (!MakeFolders(folder, 0755)) {
        SetLastError(static_cast<uint32_t>(errno),
                     "cannot make the log folder \"" + folder + "\": " + std::strerror(errno));
        return false;
    }
    if (!IsTrustworthyFolder(folder)) {
        return false;
    }
    Descriptor file(OpenForAppend(path));
    if (file.Get() < 0) {
        if (errno == EINVAL || errno == ENXIO || errno == ELOOP) {
            SetLastError(errno, "\"" + path + "\" is not a regular file");
            return false;
        }
        return Failed();
    }
    for (;;) {
        while (::flock(file.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                return Failed();
            }
        }
        // Another writer may have rotated the file between our open and our lock: then the
        // descriptor names the old file, and the new one is opened instead.
        struct stat held, named;
        if (::fstat(file.Get(), &held) != 0) {
            return Failed();
        }
        if (::stat(path.c_str(), &named) != 0 || named.st_ino != held.st_ino ||
            named.st_dev != held.st_dev) {
            file.Reset(OpenForAppend(path));
            if (file.Get() < 0) {
                return Failed();
            }
            continue;
        }
        if ((held.st_mode & 07777) != 0644 && held.st_uid == ::geteuid()) {
            ::fchmod(file.Get(), 0644);  // a file made under a narrower umask
        }
        if (static_cast<uint64_t>(held.st_size) >= kLogRotateBytes) {
            // The file keeps our lock under its new name; writers waiting for it see the name
            // moved on and open the new file.
            if (::rename(path.c_str(), (path + ".1").c_str()) != 0) {
                return Failed();
            }
            file.Reset(OpenForAppend(path));
            if (file.Get() < 0) {
                return Failed();
            }
            continue;
        }
        break;
    }
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(file.Get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Failed();
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

bool ReadLog(const std::string& path, uint64_t offset, std::string& text, uint64_t& size) {
    text.clear();
    size = 0;
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat info;
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0) {
        return Failed();
    }
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return Failed();
    }
    size = static_cast<uint64_t>(info.st_size);
    if (offset >= size) {
        return true;
    }
    text.resize(static_cast<size_t>(size - offset));
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n =
            ::pread(file.Get(), &text[got], text.size() - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            text.clear();
            return Failed();
        }
        if (n == 0) {
            break;  // cut short meanwhile
        }
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    return true;
}

}  // namespace platform
