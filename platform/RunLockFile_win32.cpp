#include "platform/RunLockFile.h"

// windows.h first: the headers after it build on it.
#include "platform/WindowsSupport_win32.h"

#include <shlobj.h>

#include <cstdlib>

#include "platform/Folders.h"
#include "platform/LastError.h"
#include "platform/RunLock.h"

// The lock is LockFileEx on one byte far past the holder's id at the start of the file, so
// that the id can be read while the byte is locked (Windows' locks keep others from reading
// what they cover). The system releases the lock when its handle closes or its process ends.

namespace platform {

namespace {

const char kLockFileName[] = "run.lock";
// The locked byte.
const DWORD kLockedOffsetHigh = 1;

HANDLE Raw(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool ReadAt(HANDLE file, char* buffer, DWORD size, DWORD& got) {
    OVERLAPPED at = {};
    return ::ReadFile(file, buffer, size, &got, &at) != FALSE;
}

}  // namespace

// The Vomo folder of the machine's program data, where the machine's install log lives too.
std::string RunLockFilePath() {
    wchar_t* folder = nullptr;
    std::string path;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &folder)) && folder) {
        path = win32::Narrow(folder, wcslen(folder)) + "\\Vomo\\" + kLockFileName;
    }
    ::CoTaskMemFree(folder);
    return path;
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(::GetCurrentProcessId());
}

RunLockFile::~RunLockFile() {
    Close();
}

bool RunLockFile::Open() {
    if (handle_ != -1) {
        return true;
    }
    const std::string path = RunLockFilePath();
    std::wstring wide;
    if (path.empty()) {
        win32::RecordError(ERROR_PATH_NOT_FOUND, "the run lock has no place");
        return false;
    }
    if (!win32::WidePath(path, wide)) {
        return false;
    }
    MakeFolders(path.substr(0, path.find_last_of("\\/")), 0755);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    writable_ = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
        file = ::CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        win32::RecordLastError("cannot open the run lock " + path);
        return false;
    }
    // Not inherited by the programs a run starts.
    ::SetHandleInformation(file, HANDLE_FLAG_INHERIT, 0);
    handle_ = reinterpret_cast<intptr_t>(file);
    return true;
}

RunLockFile::Attempt RunLockFile::TryLock() {
    if (handle_ == -1) {
        win32::RecordError(ERROR_INVALID_HANDLE, "the run lock is not open");
        return Attempt::kFailed;
    }
    HANDLE file = Raw(handle_);
    OVERLAPPED at = {};
    at.OffsetHigh = kLockedOffsetHigh;
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        if (::GetLastError() == ERROR_LOCK_VIOLATION) {
            return Attempt::kBusy;
        }
        win32::RecordLastError("cannot lock the run lock " + RunLockFilePath());
        return Attempt::kFailed;
    }
    locked_ = true;
    if (writable_) {
        // A failure here only loses the name shown to those who wait.
        const std::string id = std::to_string(::GetCurrentProcessId()) + "\n";
        OVERLAPPED start = {};
        DWORD written = 0;
        if (::WriteFile(file, id.data(), static_cast<DWORD>(id.size()), &written, &start)) {
            LARGE_INTEGER end;
            end.QuadPart = static_cast<LONGLONG>(id.size());
            if (::SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) {
                ::SetEndOfFile(file);
            }
        }
    }
    return Attempt::kTaken;
}

uint32_t RunLockFile::Holder() {
    if (handle_ == -1) {
        return 0;
    }
    char text[32] = {0};
    DWORD got = 0;
    if (!ReadAt(Raw(handle_), text, sizeof text - 1, got) || got == 0) {
        return 0;
    }
    return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

void RunLockFile::Close() {
    if (handle_ == -1) {
        return;
    }
    HANDLE file = Raw(handle_);
    if (locked_ && writable_) {
        LARGE_INTEGER start = {};
        if (::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
            ::SetEndOfFile(file);  // no stale id for the next one who waits
        }
    }
    if (locked_) {
        OVERLAPPED at = {};
        at.OffsetHigh = kLockedOffsetHigh;
        ::UnlockFileEx(file, 0, 1, 0, &at);
    }
    ::CloseHandle(file);
    handle_ = -1;
    locked_ = false;
    writable_ = false;
}

}  // namespace platform
