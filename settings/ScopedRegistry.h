// Owners of one registry key handle (ScopedLMKey) and of one loaded library (ScopedDLL), which
// close or free what they hold when destroyed.
#pragma once

#include "platform/Registry.h"
#include "platform/RegistryLibrary.h"

class ScopedLMKey {
public:
    ScopedLMKey() = default;
    explicit ScopedLMKey(platform::RegKey key) : key_(key) {}
    ~ScopedLMKey() { Reset(); }
    ScopedLMKey(const ScopedLMKey&) = delete;
    ScopedLMKey& operator=(const ScopedLMKey&) = delete;

    platform::RegKey Get() const { return key_; }
    // Where an opening call stores the new handle; the one held before is closed first.
    platform::RegKey* Receive() {
        Reset();
        return &key_;
    }
    void Reset() {
        if (key_) {
            platform::RegCloseKey(key_);
            key_ = nullptr;
        }
    }

private:
    platform::RegKey key_ = nullptr;
};

class ScopedDLL {
public:
    explicit ScopedDLL(const char16_t* name) : library_(platform::LoadLibraryW(name)) {}
    ~ScopedDLL() {
        if (library_) {
            platform::FreeLibrary(library_);
        }
    }
    ScopedDLL(const ScopedDLL&) = delete;
    ScopedDLL& operator=(const ScopedDLL&) = delete;

    platform::LibraryHandle Get() const { return library_; }
    // The function `name` of the library, or null (also when the library did not load).
    platform::LibraryProc Lookup(const char* name) const {
        return library_ ? platform::GetProcAddress(library_, name) : nullptr;
    }

private:
    platform::LibraryHandle library_;
};
