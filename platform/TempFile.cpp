#include "platform/TempFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/Environment.h"
#include "platform/FileTree.h"
#include "platform/Folders.h"
#include "platform/LastError.h"

namespace platform {

namespace {

// How many fresh names MakePrivateDirectory tries when the folder it made was taken away at
// once (by another process's removal of abandoned folders, in the instant before the lock).
const int kFolderAttempts = 8;

// The folders this process made and still holds, each with its locked descriptor, and the
// temporary directories already cleared of abandoned folders.
struct HeldFolders {
    std::mutex mutex;
    std::map<std::string, int> locks;
    std::set<std::string> swept;
};

HeldFolders& Held() {
    // Never destroyed: static objects that end after it may still use it.
    static HeldFolders* const held = new HeldFolders;
    return *held;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool LooksPrivate(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

// Locks the folder just made at `path`: its descriptor, or -1 when the folder is gone or is
// not the one made (another process removed it as abandoned in the instant before the lock).
// A file system without locks leaves the folder unlocked; there nobody can remove it as
// abandoned either.
int LockNewFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    struct stat held;
    struct stat named;
    if (busy || ::fstat(fd, &held) != 0 || ::lstat(path.c_str(), &named) != 0 ||
        !SameEntry(held, named) || !LooksPrivate(named)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The mark of a folder MakePrivateDirectory made, in the folder locked at `fd`.
bool Mark(int fd) {
    const int mark = ::openat(fd, kPrivateDirectoryMark,
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (mark < 0) {
        return false;
    }
    ::close(mark);
    return true;
}

bool HasMark(int fd) {
    struct stat info;
    return ::fstatat(fd, kPrivateDirectoryMark, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(info.st_mode);
}

}  // namespace

bool GetTempDirectory(std::string& directory) {
    std::string candidate;
    if (!GetEnvironmentText("TMPDIR", candidate) || candidate.empty()) {
        candidate = "/tmp";
    }
    // A folder where another user could take or swap what is made in it is refused, not
    // replaced by another: a setting that cannot be honoured safely is an error to report.
    if (!IsTrustworthyFolder(candidate)) {
        SetLastError(GetLastErrorCode(),
                     "the temporary folder cannot be used: " + GetLastErrorText());
        return false;
    }
    directory = candidate;
    return true;
}

bool MakePrivateDirectory(const std::string& prefix, std::string& path) {
    std::string directory;
    if (!GetTempDirectory(directory)) {
        return false;
    }
    bool sweep = false;
    {
        HeldFolders& held = Held();
        std::lock_guard<std::mutex> lock(held.mutex);
        sweep = held.swept.insert(directory).second;
    }
    if (sweep) {
        RemoveAbandonedPrivateDirectories(directory);
    }
    for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
        std::string pattern = directory + "/" + prefix + "XXXXXX";
        if (!::mkdtemp(&pattern[0])) {  // mode 0700, never an existing name
            SetLastErrorFromErrno();
            return false;
        }
        const int fd = LockNewFolder(pattern);
        if (fd < 0) {
            continue;  // whoever took it removes it
        }
        if (!Mark(fd)) {
            SetLastErrorFromErrno();
            RemoveTree(pattern);
            ::close(fd);
            return false;
        }
        HeldFolders& held = Held();
        std::lock_guard<std::mutex> lock(held.mutex);
        held.locks[pattern] = fd;
        path = pattern;
        return true;
    }
    errno = EAGAIN;
    SetLastErrorFromErrno();
    return false;
}

bool RemovePrivateDirectory(const std::string& path) {
    const bool removed = RemoveTree(path);
    HeldFolders& held = Held();
    std::lock_guard<std::mutex> lock(held.mutex);
    const std::map<std::string, int>::iterator found = held.locks.find(path);
    if (found != held.locks.end()) {
        ::close(found->second);  // the lock goes with it
        held.locks.erase(found);
    }
    return removed;
}

size_t RemoveAbandonedPrivateDirectories(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(directory.c_str())) {
        const std::string prefix = kPrivateDirectoryPrefix;
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name.compare(0, prefix.size(), prefix) == 0 && name.size() > prefix.size()) {
                names.push_back(name);
            }
        }
        ::closedir(listing);
    }
    size_t removed = 0;
    for (const std::string& name : names) {
        const std::string path = directory + "/" + name;
        {
            HeldFolders& held = Held();
            std::lock_guard<std::mutex> lock(held.mutex);
            if (held.locks.count(path)) {
                continue;  // ours
            }
        }
        struct stat named;
        if (::lstat(path.c_str(), &named) != 0 || !LooksPrivate(named)) {
            continue;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // Free: no process holds it. Held while the folder goes, so that nobody else takes it
        // meanwhile. A marked folder goes with everything in it. An unmarked one is someone
        // else's, or one whose process ended between making and marking it, which is empty:
        // it goes only when empty, so nothing anyone put in it is ever lost.
        struct stat held;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
            SameEntry(held, named) &&
            (HasMark(fd) ? RemoveTree(path) : ::rmdir(path.c_str()) == 0)) {
            ++removed;
        }
        ::close(fd);
    }
    return removed;
}

ExclusiveFile::~ExclusiveFile() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

bool ExclusiveFile::Create(const std::string& path) {
    if (descriptor_ >= 0) {
        errno = EBUSY;
        SetLastErrorFromErrno();
        return false;
    }
    // O_EXCL refuses any existing entry, a symbolic link included; O_NOFOLLOW also refuses a
    // link where O_EXCL alone is not honoured (some network file systems).
    const int descriptor = ::open(
        path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    descriptor_ = descriptor;
    created_ = true;
    path_ = path;
    return true;
}

bool ExclusiveFile::Write(const void* data, size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(descriptor_, next, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastErrorFromErrno();
            return false;
        }
        next += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool ExclusiveFile::Truncate() {
    if (::ftruncate(descriptor_, 0) != 0 || ::lseek(descriptor_, 0, SEEK_SET) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool ExclusiveFile::Close() {
    if (descriptor_ < 0) {
        return true;
    }
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    if (result != 0 && errno != EINTR) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

void ExclusiveFile::Discard() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
    if (created_) {
        ::unlink(path_.c_str());
        created_ = false;
    }
}

bool IsPrivateDirectory(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

}  // namespace platform
