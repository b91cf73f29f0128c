#include "support/LoadedExports.h"

#include <windows.h>

#include <string>

namespace testsupport {

LoadedExports::LoadedExports(const char* path) {
    std::wstring wide;
    for (const char* c = path; *c; ++c) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));  // build paths are ASCII
    }
    handle_ = ::LoadLibraryW(wide.c_str());
    if (!handle_) {
        error_ = "LoadLibraryW failed with error " + std::to_string(::GetLastError());
        return;
    }
    ResolveAll();
}

LoadedExports::~LoadedExports() {
    if (handle_) {
        ::FreeLibrary(static_cast<HMODULE>(handle_));
    }
}

void* LoadedExports::Find(const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace testsupport
