#include "platform/TempFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Environment.h"
#include "platform/Folders.h"
#include "platform/LastError.h"

namespace platform {

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
    std::string pattern = directory + "/" + prefix + "XXXXXX";
    if (!::mkdtemp(&pattern[0])) {  // mode 0700, never an existing name
        SetLastErrorFromErrno();
        return false;
    }
    path = pattern;
    return true;
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
