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
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "platform/FileTree.h"
#include "platform/LastError.h"

namespace platform {

namespace {

// Random characters of a private folder's name.
const char kNameCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
const int kNameLength = 6;
const int kFolderAttempts = 100;

// The lock of a private folder is an open handle to it. The owner's shares everything, delete
// included, so that the folder can still be removed through its path; a handle that shares
// nothing cannot be opened while the owner's is, which is how an abandoned folder is told from
// a live one.
const DWORD kOwnerShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The folders this process made and still holds, with their handles, and the temporary
// directories already cleared of abandoned folders.
struct HeldFolders {
    std::mutex mutex;
    std::map<std::string, HANDLE> locks;
    std::set<std::string> swept;
};

HeldFolders& Held() {
    // Never destroyed: static objects that end after it may still use it.
    static HeldFolders* const held = new HeldFolders;
    return *held;
}

HANDLE OpenFolder(const std::wstring& path, DWORD share) {
    return ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, share, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
}

// The mark of a folder MakePrivateDirectory made.
bool Mark(const std::string& folder) {
    std::wstring wide;
    if (!win32::WidePath(folder + "\\" + kPrivateDirectoryMark, wide)) {
        return false;
    }
    HANDLE mark = ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(mark);
    return true;
}

bool HasMark(const std::string& folder) {
    std::wstring wide;
    if (!win32::WidePath(folder + "\\" + kPrivateDirectoryMark, wide)) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

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
    bool sweep = false;
    {
        HeldFolders& held = Held();
        std::lock_guard<std::mutex> lock(held.mutex);
        sweep = held.swept.insert(directory).second;
    }
    if (sweep) {
        RemoveAbandonedPrivateDirectories(directory);
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
            // Held from now on; taken by another process's removal of abandoned folders in the
            // instant before, it is theirs to remove, and another name is tried.
            HANDLE lockHandle = OpenFolder(wide, kOwnerShare);
            if (lockHandle == INVALID_HANDLE_VALUE) {
                continue;
            }
            ::SetHandleInformation(lockHandle, HANDLE_FLAG_INHERIT, 0);
            if (!Mark(candidate)) {
                win32::RecordLastError("cannot mark the folder " + candidate);
                ::CloseHandle(lockHandle);
                RemoveTree(candidate);
                break;
            }
            {
                HeldFolders& held = Held();
                std::lock_guard<std::mutex> lock(held.mutex);
                held.locks[candidate] = lockHandle;
            }
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

bool RemovePrivateDirectory(const std::string& path) {
    HANDLE lockHandle = INVALID_HANDLE_VALUE;
    {
        HeldFolders& held = Held();
        std::lock_guard<std::mutex> lock(held.mutex);
        const std::map<std::string, HANDLE>::iterator found = held.locks.find(path);
        if (found != held.locks.end()) {
            lockHandle = found->second;
            held.locks.erase(found);
        }
    }
    // Closed first: the walk opens the folder without sharing its removal.
    if (lockHandle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(lockHandle);
    }
    return RemoveTree(path);
}

size_t RemoveAbandonedPrivateDirectories(const std::string& directory) {
    std::wstring pattern;
    if (!win32::WidePath(directory + "\\" + kPrivateDirectoryPrefix + "*", pattern)) {
        return 0;
    }
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            if (folder) {
                names.push_back(win32::Narrow(found.cFileName, wcslen(found.cFileName)));
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    size_t removed = 0;
    for (const std::string& name : names) {
        const std::string path = directory + "\\" + name;
        {
            HeldFolders& held = Held();
            std::lock_guard<std::mutex> lock(held.mutex);
            if (held.locks.count(path)) {
                continue;  // ours
            }
        }
        std::wstring wide;
        if (!win32::WidePath(path, wide) || !IsPrivateDirectory(path)) {
            continue;
        }
        // Opened sharing nothing: refused while its owner holds its own handle.
        HANDLE probe = OpenFolder(wide, 0);
        if (probe == INVALID_HANDLE_VALUE) {
            continue;
        }
        ::CloseHandle(probe);
        // Unmarked: someone else's, or one whose process ended between making and marking it,
        // which is empty; it goes only when empty.
        if (HasMark(path) ? RemoveTree(path) : ::RemoveDirectoryW(wide.c_str()) != FALSE) {
            ++removed;
        }
    }
    return removed;
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

bool ExclusiveFile::Truncate() {
    if (::_chsize_s(descriptor_, 0) != 0 || ::_lseeki64(descriptor_, 0, SEEK_SET) != 0) {
        SetLastErrorFromErrno();
        return false;
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
