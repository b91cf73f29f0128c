#include "platform/RegistryLibrary.h"

#include <atomic>
#include <cstring>
#include <string>

#include "platform/LastError.h"
#include "platform/Registry.h"
#include "platform/RegistryNames.h"

namespace platform {

// A loaded library: there is only the one, so a handle is the address of this object.
struct LibraryObject {
    int unused;
};

namespace {

const uint32_t kErrorModNotFound = 126;
const uint32_t kErrorProcNotFound = 127;

LibraryObject gAdvapi32;
std::atomic<int> gLoads{0};
std::atomic<bool> gLookupFails{false};

}  // namespace

LibraryHandle LoadLibraryW(const char16_t* name) {
    if (name && regnames::Fold(name) == regnames::Fold(u"Advapi32.dll")) {
        ++gLoads;
        return &gAdvapi32;
    }
    SetLastError(kErrorModNotFound, "The specified module could not be found.");
    return nullptr;
}

LibraryProc GetProcAddress(LibraryHandle library, const char* name) {
    if (library == &gAdvapi32 && name && !gLookupFails.load() &&
        std::strcmp(name, "RegDeleteKeyExW") == 0) {
        return reinterpret_cast<LibraryProc>(&RegDeleteKeyExW);
    }
    SetLastError(kErrorProcNotFound, "The specified procedure could not be found.");
    return nullptr;
}

bool FreeLibrary(LibraryHandle library) {
    if (library != &gAdvapi32 || gLoads.load() <= 0) {
        SetLastError(kErrorInvalidHandle, "The handle is invalid.");
        return false;
    }
    --gLoads;
    return true;
}

void SetLibraryLookupFailsForTesting(bool fails) {
    gLookupFails.store(fails);
}

}  // namespace platform
