#include "platform/Registry.h"

// windows.h first: the headers after it build on it.
#include "platform/WindowsSupport_win32.h"

#include <sddl.h>
#include <shlwapi.h>

#include <map>
#include <mutex>

#include "platform/LastError.h"

// The Windows registry itself (advapi32, and shlwapi for the tree deletion): every call goes to
// its namesake unchanged, and the two roots are the system's own predefined keys, which have
// the same values as kHKeyCurrentUser and kHKeyLocalMachine. The choices of the POSIX backend's
// header that concern its hive files do not apply: Windows decides storage, sharing, access
// lists and views.

namespace platform {

namespace {

HKEY ToHkey(RegKey key) {
    return reinterpret_cast<HKEY>(key);
}

const wchar_t* ToWide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

wchar_t* ToWide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}

// Records a failed call's code with the system's text; answers the code.
uint32_t Answer(LSTATUS status, const char* call) {
    if (status != ERROR_SUCCESS) {
        win32::RecordError(static_cast<DWORD>(status), call);
    }
    return static_cast<uint32_t>(status);
}

// The security descriptors the test hook put on keys, to be put back when the mark is lifted.
struct DeniedKeys {
    std::mutex mutex;
    std::map<std::pair<RegKey, std::u16string>, std::string> saved;
};

DeniedKeys& Denied() {
    static DeniedKeys* keys = new DeniedKeys;  // outlives every static destructor
    return *keys;
}

}  // namespace

uint32_t RegOpenKeyExW(RegKey key, const char16_t* subKey, uint32_t options, uint32_t desired,
                       RegKey* result) {
    HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(ToHkey(key), ToWide(subKey), options, desired, &opened);
    if (result) {
        *result = status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(opened) : nullptr;
    }
    return Answer(status, "RegOpenKeyExW");
}

uint32_t RegCreateKeyExW(RegKey key, const char16_t* subKey, uint32_t reserved,
                         const char16_t* keyClass, uint32_t options, uint32_t desired,
                         const void* security, RegKey* result, uint32_t* disposition) {
    HKEY created = nullptr;
    DWORD how = 0;
    const LSTATUS status = ::RegCreateKeyExW(
        ToHkey(key), ToWide(subKey), reserved, const_cast<wchar_t*>(ToWide(keyClass)), options,
        desired, static_cast<SECURITY_ATTRIBUTES*>(const_cast<void*>(security)), &created, &how);
    if (result) {
        *result = status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(created) : nullptr;
    }
    if (disposition && status == ERROR_SUCCESS) {
        *disposition = how;
    }
    return Answer(status, "RegCreateKeyExW");
}

uint32_t RegFlushKey(RegKey key) {
    return Answer(::RegFlushKey(ToHkey(key)), "RegFlushKey");
}

uint32_t RegReadValueW(RegKey key, const char16_t* subKey, uint32_t desired,
                       const char16_t* valueName, uint32_t* type, std::string* bytes,
                       bool* keyOpened) {
    if (keyOpened) {
        *keyOpened = false;
    }
    if (!type || !bytes) {
        return Answer(ERROR_INVALID_PARAMETER, "RegReadValueW");
    }
    HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(ToHkey(key), ToWide(subKey), 0, desired, &opened);
    if (status != ERROR_SUCCESS) {
        return Answer(status, "RegOpenKeyExW");
    }
    if (keyOpened) {
        *keyOpened = true;
    }
    DWORD kind = 0;
    DWORD size = 0;
    LSTATUS read = ::RegQueryValueExW(opened, ToWide(valueName), nullptr, &kind, nullptr, &size);
    for (int attempt = 0; read == ERROR_SUCCESS && attempt < 8; ++attempt) {
        bytes->resize(size);
        DWORD got = size;
        read = ::RegQueryValueExW(opened, ToWide(valueName), nullptr, &kind,
                                  size ? reinterpret_cast<BYTE*>(&(*bytes)[0]) : nullptr, &got);
        if (read == ERROR_MORE_DATA) {
            size = got;  // grown meanwhile: once more
            read = ERROR_SUCCESS;
            continue;
        }
        if (read == ERROR_SUCCESS) {
            bytes->resize(got);
            *type = kind;
            break;
        }
    }
    ::RegCloseKey(opened);
    return Answer(read, "RegQueryValueExW");
}

uint32_t RegQueryValueExW(RegKey key, const char16_t* valueName, uint32_t* reserved, uint32_t* type,
                          uint8_t* data, uint32_t* dataSize) {
    static_assert(sizeof(DWORD) == sizeof(uint32_t), "DWORD is 32 bits");
    return Answer(::RegQueryValueExW(
                      ToHkey(key), ToWide(valueName), reinterpret_cast<DWORD*>(reserved),
                      reinterpret_cast<DWORD*>(type), data, reinterpret_cast<DWORD*>(dataSize)),
                  "RegQueryValueExW");
}

uint32_t RegSetValueExW(RegKey key, const char16_t* valueName, uint32_t reserved, uint32_t type,
                        const uint8_t* data, uint32_t dataSize) {
    return Answer(::RegSetValueExW(ToHkey(key), ToWide(valueName), reserved, type, data, dataSize),
                  "RegSetValueExW");
}

uint32_t RegDeleteValueW(RegKey key, const char16_t* valueName) {
    return Answer(::RegDeleteValueW(ToHkey(key), ToWide(valueName)), "RegDeleteValueW");
}

uint32_t RegEnumKeyExW(RegKey key, uint32_t index, char16_t* name, uint32_t* nameLength,
                       uint32_t* reserved, char16_t* keyClass, uint32_t* classLength,
                       uint64_t* lastWriteTime) {
    static_assert(sizeof(FILETIME) == sizeof(uint64_t), "FILETIME is 64 bits");
    return Answer(
        ::RegEnumKeyExW(ToHkey(key), index, ToWide(name), reinterpret_cast<DWORD*>(nameLength),
                        reinterpret_cast<DWORD*>(reserved), ToWide(keyClass),
                        reinterpret_cast<DWORD*>(classLength),
                        reinterpret_cast<FILETIME*>(lastWriteTime)),
        "RegEnumKeyExW");
}

uint32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name, uint32_t* nameLength,
                       uint32_t* reserved, uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    return Answer(
        ::RegEnumValueW(ToHkey(key), index, ToWide(name), reinterpret_cast<DWORD*>(nameLength),
                        reinterpret_cast<DWORD*>(reserved), reinterpret_cast<DWORD*>(type), data,
                        reinterpret_cast<DWORD*>(dataSize)),
        "RegEnumValueW");
}

uint32_t RegQueryInfoKeyW(RegKey key, char16_t* keyClass, uint32_t* classLength, uint32_t* reserved,
                          uint32_t* subKeys, uint32_t* maxSubKeyLength, uint32_t* maxClassLength,
                          uint32_t* values, uint32_t* maxValueNameLength, uint32_t* maxValueLength,
                          uint32_t* securityDescriptorSize, uint64_t* lastWriteTime) {
    return Answer(
        ::RegQueryInfoKeyW(
            ToHkey(key), ToWide(keyClass), reinterpret_cast<DWORD*>(classLength),
            reinterpret_cast<DWORD*>(reserved), reinterpret_cast<DWORD*>(subKeys),
            reinterpret_cast<DWORD*>(maxSubKeyLength), reinterpret_cast<DWORD*>(maxClassLength),
            reinterpret_cast<DWORD*>(values), reinterpret_cast<DWORD*>(maxValueNameLength),
            reinterpret_cast<DWORD*>(maxValueLength),
            reinterpret_cast<DWORD*>(securityDescriptorSize),
            reinterpret_cast<FILETIME*>(lastWriteTime)),
        "RegQueryInfoKeyW");
}

uint32_t RegDeleteKeyW(RegKey key, const char16_t* subKey) {
    return Answer(::RegDeleteKeyW(ToHkey(key), ToWide(subKey)), "RegDeleteKeyW");
}

uint32_t RegDeleteKeyExW(RegKey key, const char16_t* subKey, uint32_t desired, uint32_t reserved) {
    return Answer(::RegDeleteKeyExW(ToHkey(key), ToWide(subKey), desired, reserved),
                  "RegDeleteKeyExW");
}

uint32_t SHDeleteKeyW(RegKey key, const char16_t* subKey) {
    return Answer(static_cast<LSTATUS>(::SHDeleteKeyW(ToHkey(key), ToWide(subKey))),
                  "SHDeleteKeyW");
}

uint32_t RegCloseKey(RegKey key) {
    return Answer(::RegCloseKey(ToHkey(key)), "RegCloseKey");
}

// The registry is the system's: there is no file of ours to name.
std::string RegistryHiveFile(RegKey /*root*/) {
    return std::string();
}

// Windows forbids deleting a key through its access list: the mark is a list that denies
// everyone the right to delete the key (and allows everything else), and lifting it puts the
// key's own list back.
void SetKeyDeletionDeniedForTesting(RegKey root, const std::u16string& path, bool deny) {
    HKEY key = nullptr;
    const REGSAM access = READ_CONTROL | WRITE_DAC | KEY_WOW64_64KEY;
    if (::RegOpenKeyExW(ToHkey(root), ToWide(path.c_str()), 0, access, &key) != ERROR_SUCCESS) {
        return;
    }
    DeniedKeys& denied = Denied();
    std::lock_guard<std::mutex> lock(denied.mutex);
    const auto id = std::make_pair(root, path);
    if (deny) {
        DWORD size = 0;
        ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
        std::string original(size, '\0');
        if (size == 0 || ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, &original[0], &size) !=
                             ERROR_SUCCESS) {
            original.clear();
        }
        PSECURITY_DESCRIPTOR list = nullptr;
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"D:(D;;SD;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1, &list, nullptr)) {
            if (::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, list) == ERROR_SUCCESS &&
                !denied.saved.count(id)) {
                denied.saved[id] = original;
            }
            ::LocalFree(list);
        }
    } else {
        const auto found = denied.saved.find(id);
        if (found != denied.saved.end()) {
            if (!found->second.empty()) {
                ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &found->second[0]);
            }
            denied.saved.erase(found);
        }
    }
    ::RegCloseKey(key);
}

}  // namespace platform
