// Direct access to the registry beneath the settings store, for tests that plant values as
// another program would, or look at exactly what the store wrote.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Registry.h"

namespace rawreg {

inline std::u16string Wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// Full path below the product key, e.g. Product("Install\\A") = "SOFTWARE\\Vomo\\Install\\A".
inline std::u16string Product(const std::string& relative) {
    return u"SOFTWARE\\Vomo\\" + Wide(relative);
}

inline bool KeyExists(platform::RegKey root, const std::string& relative) {
    platform::RegKey key = nullptr;
    if (platform::RegOpenKeyExW(root, Product(relative).c_str(), 0, platform::kKeyRead, &key) !=
        0) {
        return false;
    }
    platform::RegCloseKey(key);
    return true;
}

inline bool CreateKey(platform::RegKey root, const std::string& relative) {
    platform::RegKey key = nullptr;
    if (platform::RegCreateKeyExW(root, Product(relative).c_str(), 0, nullptr, 0,
                                  platform::kKeyAllAccess, nullptr, &key, nullptr) != 0) {
        return false;
    }
    platform::RegCloseKey(key);
    return true;
}

inline bool Put(platform::RegKey root, const std::string& relative, const std::u16string& name,
                uint32_t type, const std::string& bytes) {
    platform::RegKey key = nullptr;
    if (platform::RegCreateKeyExW(root, Product(relative).c_str(), 0, nullptr, 0,
                                  platform::kKeyAllAccess, nullptr, &key, nullptr) != 0) {
        return false;
    }
    const uint32_t rc = platform::RegSetValueExW(key, name.c_str(), 0, type,
                                                 reinterpret_cast<const uint8_t*>(bytes.data()),
                                                 static_cast<uint32_t>(bytes.size()));
    platform::RegCloseKey(key);
    return rc == 0;
}

// The type and bytes of a value; false when it cannot be read.
inline bool Get(platform::RegKey root, const std::string& relative, const std::u16string& name,
                uint32_t& type, std::string& bytes) {
    platform::RegKey key = nullptr;
    if (platform::RegOpenKeyExW(root, Product(relative).c_str(), 0, platform::kKeyRead, &key) !=
        0) {
        return false;
    }
    uint32_t size = 0;
    bool ok = platform::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == 0;
    if (ok) {
        bytes.assign(size, '\0');
        ok = platform::RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                        reinterpret_cast<uint8_t*>(&bytes[0]), &size) == 0;
    }
    platform::RegCloseKey(key);
    return ok;
}

inline std::string Le32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

inline std::string Le64(uint64_t value) {
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

// REG_SZ bytes of `text` with its terminator.
inline std::string Sz(const std::u16string& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()),
                       (text.size() + 1) * sizeof(char16_t));
}

}  // namespace rawreg
