#include "platform/LogFile.h"

#include <shlobj.h>

#include "platform/Environment.h"
#include "platform/Folders.h"
#include "platform/LastError.h"
#include "platform/WindowsSupport_win32.h"

namespace platform {

namespace {

const char kFileName[] = "install.log";

// Every writer shares the file for reading, writing and deleting, so that a rotation may rename
// it while others hold it open.
HANDLE OpenForAppend(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The same file: same volume, same file index.
bool SameFile(HANDLE held, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION a, b;
    win32::Handle named(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return named.Valid() && ::GetFileInformationByHandle(held, &a) &&
           ::GetFileInformationByHandle(named.Get(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) {
        folder = win32::Narrow(path, wcslen(path));
    }
    ::CoTaskMemFree(path);
    return folder;
}

bool Failed(const std::string& what) {
    win32::RecordLastError(what);
    return false;
}

}  // namespace

std::string InstallLogPath() {
    std::string folder;
    if (!GetEnvironmentText("VOMO_LOG_DIR", folder) || folder.empty()) {
        folder = KnownFolder(IsSuperUser() ? FOLDERID_ProgramData : FOLDERID_LocalAppData);
        if (folder.empty()) {
            return std::string();
        }
        folder += "\\Vomo\\Logs";
    }
    return folder + "\\" + kFileName;
}

bool AppendToLog(const std::string& path, const std::string& text) {
    std::wstring wide;
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND, "no install log path");
        return false;
    }
    if (!win32::WidePath(path, wide)) {
        return false;
    }
    win32::Handle file(OpenForAppend(wide));
    if (!file.Valid() && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
        const std::string::size_type separator = path.find_last_of("\\/");
        if (separator != std::string::npos && MakeFolders(path.substr(0, separator), 0755)) {
            file.Reset(OpenForAppend(wide));
        }
    }
    if (!file.Valid()) {
        return Failed("cannot open " + path);
    }
    for (;;) {
        OVERLAPPED whole = {};
        if (!::LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
            return Failed("cannot lock " + path);
        }
        // Another writer may have rotated the file between our open and our lock: then the
        // handle names the old file, and the new one is opened instead.
        if (!SameFile(file.Get(), wide)) {
            file.Reset(OpenForAppend(wide));
            if (!file.Valid()) {
                return Failed("cannot open " + path);
            }
            continue;
        }
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(file.Get(), &size)) {
            return Failed("cannot read the size of " + path);
        }
        if (static_cast<uint64_t>(size.QuadPart) >= kLogRotateBytes) {
            // The file keeps our lock under its new name; writers waiting for it see the name
            // moved on and open the new file.
            std::wstring rotated;
            if (!win32::WidePath(path + ".1", rotated) ||
                !::MoveFileExW(wide.c_str(), rotated.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                return Failed("cannot rotate " + path);
            }
            file.Reset(OpenForAppend(wide));
            if (!file.Valid()) {
                return Failed("cannot open " + path);
            }
            continue;
        }
        break;
    }
    size_t written = 0;
    while (written < text.size()) {
        DWORD count = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - written, 1u << 20));
        if (!::WriteFile(file.Get(), text.data() + written, chunk, &count, nullptr) || count == 0) {
            return Failed("cannot write " + path);
        }
        written += count;
    }
    return true;  // closing the handle releases the lock
}

// A link under the name (a reparse point) is opened as itself and refused, as the POSIX
// backend refuses to follow one.
bool ReadLog(const std::string& path, uint64_t offset, std::string& text, uint64_t& size) {
    text.clear();
    size = 0;
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return false;
    }
    win32::Handle file(::CreateFileW(
        wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid()) {
        return Failed("cannot open " + path);
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(file.Get(), &information)) {
        return Failed("cannot read " + path);
    }
    if (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
        win32::RecordError(ERROR_CANT_ACCESS_FILE, path + " is not a plain file");
        return false;
    }
    size = (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    if (offset >= size) {
        return true;
    }
    LARGE_INTEGER start;
    start.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) {
        return Failed("cannot read " + path);
    }
    text.resize(static_cast<size_t>(size - offset));
    size_t got = 0;
    while (got < text.size()) {
        DWORD count = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - got, 1u << 20));
        if (!::ReadFile(file.Get(), &text[got], chunk, &count, nullptr)) {
            text.clear();
            return Failed("cannot read " + path);
        }
        if (count == 0) {
            break;  // cut short meanwhile
        }
        got += count;
    }
    text.resize(got);
    return true;
}

}  // namespace platform
