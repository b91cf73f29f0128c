#include "platform/TempFile.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <random>

#include "platform/LastError.h"
#include "platform/WindowsSupport_win32.h"

namespace platform {

namespace {

// Random characters of a private folder's name.
const char kNameCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
const int kNameLength = 6;
const int kFolderAttempts = 100;

}  // namespace

// The folder GetTempPathW names (from TMP, TEMP or USERPROFILE, as the system chooses), without
// the trailing "\" it comes with. On Windows this folder belongs to the user, so that no other
// user can see or swap the files made there.
bool GetTempDirectory(std::string& directory) {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD length = ::GetTempPathW(MAX_PATH + 2, buffer);
    if (length == 0 || length > MAX_PATH + 1) {
        win32::RecordLastError("GetTempPathW");
        return false;
    }
    std::string candidate = win32::Narrow(buffer, length);
    while (candidate.size() > 3 && (candidate.back() == '\\' || candidate.back() == '/')) {
        candidate.pop_back();
    }
    std::wstring wide;
    win32::WidePath(candidate, wide);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        win32::RecordLastError(candidate);
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        win32::RecordError(ERROR_DIRECTORY, candidate);
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
    std::random_device source;
    std::uniform_int_distribution<int> pick(0, sizeof kNameCharacters - 2);
    for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
        std::string candidate = directory + "\\" + prefix;
        for (int i = 0; i < kNameLength; ++i) {
            candidate += kNameCharacters[pick(source)];
        }
        std::wstring wide;
        if (!win32::WidePath(candidate, wide)) {
            return false;
        }
        // Never an existing name: a folder made by someone else is not taken over.
        if (::CreateDirectoryW(wide.c_str(), nullptr)) {
            path = candidate;
            return true;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            win32::RecordLastError("cannot create a folder in " + directory);
            return false;
        }
    }
    win32::RecordError(ERROR_ALREADY_EXISTS, "no free folder name in " + directory);
    return false;
}

ExclusiveFile::~ExclusiveFile() {
    if (descriptor_ >= 0) {
        ::_close(descriptor_);
    }
}

bool ExclusiveFile::Create(const std::string& path) {
    if (descriptor_ >= 0) {
        errno = EBUSY;
        SetLastErrorFromErrno();
        return false;
    }
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return false;
    }
    // _O_EXCL creates with CREATE_NEW: any existing entry, a link included, fails the call and
    // is left as it is. Not inherited by programs this process starts.
    int descriptor = -1;
    const errno_t error = ::_wsopen_s(&descriptor, wide.c_str(),
                                      _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                      _SH_DENYWR, _S_IREAD | _S_IWRITE);
    if (error != 0 || descriptor < 0) {
        errno = error;
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
        const unsigned int chunk = static_cast<unsigned int>(size < (1u << 30) ? size : (1u << 30));
        const int written = ::_write(descriptor_, next, chunk);
        if (written <= 0) {
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
    const int result = ::_close(descriptor_);
    descriptor_ = -1;
    if (result != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

void ExclusiveFile::Discard() {
    if (descriptor_ >= 0) {
        ::_close(descriptor_);
        descriptor_ = -1;
    }
    if (created_) {
        std::wstring wide;
        if (win32::WidePath(path_, wide)) {
            ::DeleteFileW(wide.c_str());
        }
        created_ = false;
    }
}

}  // namespace platform
