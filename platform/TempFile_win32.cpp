#include "platform/TempFile.h"

// windows.h first: the headers after it build on it.
#include "platform/WindowsSupport_win32.h"

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <random>
#include <vector>

#include "platform/LastError.h"

namespace platform {

namespace {

// Random characters of a private folder's name.
const char kNameCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
const int kNameLength = 6;
const int kFolderAttempts = 100;

// The security identifier of the user the process runs as, in its text form; empty when the
// system does not tell.
std::wstring CurrentUserSid(std::vector<unsigned char>& binary) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return std::wstring();
    }
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size ? size : 1);
    std::wstring text;
    if (size && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        wchar_t* sidText = nullptr;
        if (::ConvertSidToStringSidW(sid, &sidText)) {
            text = sidText;
            ::LocalFree(sidText);
            binary.assign(static_cast<unsigned char*>(sid),
                          static_cast<unsigned char*>(sid) + ::GetLengthSid(sid));
        }
    }
    ::CloseHandle(token);
    return text;
}

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
    // Only the user may enter the folder, whatever the temporary folder would pass on.
    std::vector<unsigned char> sid;
    const std::wstring user = CurrentUserSid(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (user.empty() || !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                            (L"O:" + user + L"D:P(A;OICI;FA;;;" + user + L")").c_str(),
                            SDDL_REVISION_1, &descriptor, nullptr)) {
        win32::RecordLastError("no private access list for a folder in " + directory);
        return false;
    }
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    std::random_device source;
    std::uniform_int_distribution<int> pick(0, sizeof kNameCharacters - 2);
    for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
        std::string candidate = directory + "\\" + prefix;
        for (int i = 0; i < kNameLength; ++i) {
            candidate += kNameCharacters[pick(source)];
        }
        std::wstring wide;
        if (!win32::WidePath(candidate, wide)) {
            break;
        }
        // Never an existing name: a folder made by someone else is not taken over.
        if (::CreateDirectoryW(wide.c_str(), &security)) {
            path = candidate;
            ::LocalFree(descriptor);
            return true;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            win32::RecordLastError("cannot create a folder in " + directory);
            break;
        }
        if (attempt + 1 == kFolderAttempts) {
            win32::RecordError(ERROR_ALREADY_EXISTS, "no free folder name in " + directory);
        }
    }
    ::LocalFree(descriptor);
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

// A directory itself (not a link or junction) whose owner is the process's user.
bool IsPrivateDirectory(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return false;
    }
    std::vector<unsigned char> user;
    if (CurrentUserSid(user).empty()) {
        return false;
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool mine = owner && ::EqualSid(owner, user.data());
    ::LocalFree(descriptor);
    return mine;
}

}  // namespace platform
