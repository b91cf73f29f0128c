#include "platform/FileTree.h"

#include <atomic>
#include <vector>

#include "platform/LastError.h"
#include "platform/WindowsSupport_win32.h"

// The walk on Windows. Every entry is opened as itself (FILE_FLAG_OPEN_REPARSE_POINT), so that
// a symbolic link or a junction is removed as a link and what it points to is never touched;
// whether an entry is a folder to empty is read from that open handle, not from an earlier look.
// A folder is held open without delete sharing while its entries go, so that it cannot be
// renamed or swapped for a link meanwhile, and the names below it keep naming its entries.
// Entries are removed through their handles (delete on close); a read-only attribute is cleared
// first, since Windows refuses to delete a read-only file.

namespace platform {

namespace {

std::atomic<void (*)(const std::string&)> probeForTesting(nullptr);

bool IsGone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool Failed(const std::wstring& path) {
    win32::RecordLastError("cannot remove " + win32::Narrow(path));
    return false;
}

// The names in the folder `path`, "." and ".." left out.
bool ListEntries(const std::wstring& path, std::vector<std::wstring>& names) {
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((path + L"\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return ::GetLastError() == ERROR_FILE_NOT_FOUND || Failed(path);
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES) {
        ::SetLastError(error);
        return Failed(path);
    }
    return true;
}

bool RemoveEntry(const std::wstring& path, const std::wstring& name) {
    const DWORD looked = ::GetFileAttributesW(path.c_str());
    if (looked == INVALID_FILE_ATTRIBUTES) {
        return IsGone(::GetLastError()) || Failed(path);
    }
    if ((looked & FILE_ATTRIBUTE_DIRECTORY) && !(looked & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (void (*probe)(const std::string&) = probeForTesting.load()) {
            probe(win32::Narrow(name));
        }
    }
    win32::Handle entry(::CreateFileW(
        path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!entry.Valid()) {
        return IsGone(::GetLastError()) || Failed(path);
    }
    FILE_ATTRIBUTE_TAG_INFO kind = {};
    if (!::GetFileInformationByHandleEx(entry.Get(), FileAttributeTagInfo, &kind, sizeof kind)) {
        return Failed(path);
    }
    const DWORD attributes = kind.FileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        std::vector<std::wstring> names;
        if (!ListEntries(path, names)) {
            return false;
        }
        for (const std::wstring& child : names) {
            if (!RemoveEntry(path + L"\\" + child, child)) {
                return false;
            }
        }
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO basic = {};
        basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
        if (basic.FileAttributes == 0) {
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        }
        ::SetFileInformationByHandle(entry.Get(), FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(entry.Get(), FileDispositionInfo, &disposition,
                                      sizeof disposition)) {
        return Failed(path);
    }
    return true;  // gone when the handle closes
}

}  // namespace

bool RemoveTree(const std::string& path) {
    if (path.empty()) {
        return true;  // names nothing
    }
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return false;
    }
    // "dir\" names the folder itself; a drive's root ("C:\") is kept as it is.
    while (wide.size() > 1 && wide.back() == L'\\' && !(wide.size() == 3 && wide[1] == L':')) {
        wide.pop_back();
    }
    const std::wstring::size_type separator = wide.find_last_of(L'\\');
    const std::wstring name = separator == std::wstring::npos ? wide : wide.substr(separator + 1);
    if (name.empty() || name == L"." || name == L"..") {
        win32::RecordError(ERROR_INVALID_NAME, "cannot remove " + path);
        return false;
    }
    return RemoveEntry(wide, name);
}

void SetRemoveTreeProbeForTesting(void (*probe)(const std::string& name)) {
    probeForTesting.store(probe);
}

}  // namespace platform
