#include "platform/RunLockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "platform/Folders.h"
#include "platform/LastError.h"
#include "platform/Registry.h"
#include "platform/RunLock.h"

namespace platform {

namespace {

const char kLockFileName[] = "run.lock";

void Fail(const std::string& what) {
    const int code = errno;
    SetLastError(static_cast<uint32_t>(code), what + ": " + std::generic_category().message(code));
}

}  // namespace

std::string RunLockFilePath() {
    const std::string hive = RegistryHiveFile(kHKeyLocalMachine);
    const std::string::size_type slash = hive.rfind('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return hive.substr(0, slash + 1) + kLockFileName;
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(::getpid());
}

RunLockFile::~RunLockFile() {
    Close();
}

bool RunLockFile::Open() {
    if (handle_ >= 0) {
        return true;
    }
    const std::string path = RunLockFilePath();
    if (path.empty()) {
        errno = ENOENT;
        Fail("the run lock has no place (the machine hive's folder is unknown)");
        return false;
    }
    // Made like the machine hive's folder when missing; a folder this process may not make is
    // reported by the open below.
    MakeFolders(path.substr(0, path.rfind('/')), 0755);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    writable_ = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    if (fd < 0) {
        Fail("cannot open the run lock " + path);
        return false;
    }
    handle_ = fd;
    return true;
}

RunLockFile::Attempt RunLockFile::TryLock() {
    const int fd = static_cast<int>(handle_);
    if (fd < 0) {
        errno = EBADF;
        Fail("the run lock is not open");
        return Attempt::kFailed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK || errno == EINTR) {
            return Attempt::kBusy;
        }
        Fail("cannot lock the run lock " + RunLockFilePath());
        return Attempt::kFailed;
    }
    locked_ = true;
    if (writable_) {
        // A failure here only loses the name shown to those who wait.
        const std::string id = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) == 0) {
            (void)!::pwrite(fd, id.data(), id.size(), 0);
        }
    }
    return Attempt::kTaken;
}

uint32_t RunLockFile::Holder() {
    const int fd = static_cast<int>(handle_);
    char text[32] = {0};
    if (fd < 0 || ::pread(fd, text, sizeof text - 1, 0) <= 0) {
        return 0;
    }
    return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

void RunLockFile::Close() {
    const int fd = static_cast<int>(handle_);
    if (fd < 0) {
        return;
    }
    if (locked_ && writable_) {
        (void)!::ftruncate(fd, 0);  // no stale id for the next one who waits
    }
    ::close(fd);  // releases the lock
    handle_ = -1;
    locked_ = false;
    writable_ = false;
}

}  // namespace platform
