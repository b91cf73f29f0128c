#include "platform/RegistryLibrary.h"

#include <atomic>

#include "platform/LastError.h"
#include "platform/WindowsSupport_win32.h"

// The system's own loader: any library, any function. Failures record the system's error.

namespace platform {

namespace {

std::atomic<bool> gLookupFails{false};

}  // namespace

LibraryHandle LoadLibraryW(const char16_t* name) {
    HMODULE module = ::LoadLibraryW(reinterpret_cast<const wchar_t*>(name));
    if (!module) {
        win32::RecordLastError("LoadLibraryW");
    }
    return reinterpret_cast<LibraryHandle>(module);
}

LibraryProc GetProcAddress(LibraryHandle library, const char* name) {
    if (gLookupFails.load()) {
        win32::RecordError(ERROR_PROC_NOT_FOUND, name ? name : "");
        return nullptr;
    }
    FARPROC found = ::GetProcAddress(reinterpret_cast<HMODULE>(library), name);
    if (!found) {
        win32::RecordLastError(name ? name : "");
    }
    return reinterpret_cast<LibraryProc>(found);
}

bool FreeLibrary(LibraryHandle library) {
    if (!::FreeLibrary(reinterpret_cast<HMODULE>(library))) {
        win32::RecordLastError("FreeLibrary");
        return false;
    }
    return true;
}

void SetLibraryLookupFailsForTesting(bool fails) {
    gLookupFails.store(fails);
}

}  // namespace platform
