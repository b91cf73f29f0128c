// Small helpers over the Win32-style registry calls for the registry tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace regtest {

// Closes its handle when destroyed.
struct Handle {
    platform::RegKey key = nullptr;
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    void Close() {
        if (key) {
            platform::RegCloseKey(key);
            key = nullptr;
        }
    }
    platform::RegKey* Out() {
        Close();
        return &key;
    }
};

inline uint32_t Create(platform::RegKey root, const char16_t* path, Handle& handle,
                       uint32_t access = platform::kKeyAllAccess, uint32_t* disposition = nullptr) {
    return platform::RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, handle.Out(),
                                     disposition);
}

inline uint32_t Open(platform::RegKey root, const char16_t* path, Handle& handle,
                     uint32_t access = platform::kKeyAllAccess) {
    return platform::RegOpenKeyExW(root, path, 0, access, handle.Out());
}

inline uint32_t Set(platform::RegKey key, const char16_t* name, uint32_t type,
                    const std::string& bytes) {
    return platform::RegSetValueExW(key, name, 0, type,
                                    reinterpret_cast<const uint8_t*>(bytes.data()),
                                    static_cast<uint32_t>(bytes.size()));
}

// The value's type and bytes, read with a buffer of the exact size.
inline uint32_t Get(platform::RegKey key, const char16_t* name, uint32_t& type,
                    std::string& bytes) {
    uint32_t size = 0;
    uint32_t rc = platform::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (rc != 0) {
        return rc;
    }
    std::string buffer(size, '\0');
    rc = platform::RegQueryValueExW(key, name, nullptr, &type,
                                    reinterpret_cast<uint8_t*>(&buffer[0]), &size);
    if (rc == 0) {
        buffer.resize(size);
        bytes = buffer;
    }
    return rc;
}

inline std::vector<std::u16string> SubKeys(platform::RegKey key) {
    std::vector<std::u16string> names;
    for (uint32_t i = 0;; ++i) {
        char16_t buffer[300];
        uint32_t length = 300;
        if (platform::RegEnumKeyExW(key, i, buffer, &length, nullptr, nullptr, nullptr, nullptr) !=
            0) {
            break;
        }
        names.emplace_back(buffer, length);
    }
    return names;
}

inline std::vector<std::u16string> ValueNames(platform::RegKey key) {
    std::vector<std::u16string> names;
    for (uint32_t i = 0;; ++i) {
        char16_t buffer[300];
        uint32_t length = 300;
        if (platform::RegEnumValueW(key, i, buffer, &length, nullptr, nullptr, nullptr, nullptr) !=
            0) {
            break;
        }
        names.emplace_back(buffer, length);
    }
    return names;
}

inline std::string Sz(const std::u16string& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()),
                       (text.size() + 1) * sizeof(char16_t));
}

}  // namespace regtest
