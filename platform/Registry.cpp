#include "platform/Registry.h"

#include <cstring>
#include <mutex>
#include <unordered_set>

#include "platform/LastError.h"
#include "platform/RegistryHive.h"

namespace platform {

// What a handle holds: the key it names and the rights it was opened with.
struct RegistryKeyObject {
    reghive::KeyRef key;
    uint32_t access = 0;
};

namespace {

const size_t kMaxKeyNameUnits = 255;
const size_t kMaxValueNameUnits = 16383;
const uint32_t kViewFlags = kKeyWow64_64Key | kKeyWow64_32Key;

uint32_t Fail(uint32_t code, const char* text) {
    SetLastError(code, text);
    return code;
}

uint32_t InvalidParameter() {
    return Fail(kErrorInvalidParameter, "The parameter is incorrect.");
}

uint32_t AccessDenied() {
    return Fail(kErrorAccessDenied, "Access is denied: the key was not opened for this.");
}

// Every handle given out and not closed yet, so that a stale or foreign handle is refused
// instead of followed.
struct HandleTable {
    std::mutex mutex;
    std::unordered_set<RegistryKeyObject*> live;
};

HandleTable& Handles() {
    static HandleTable* table = new HandleTable;  // outlives every static destructor
    return *table;
}

bool RootHive(RegKey key, reghive::Hive& hive) {
    if (key == kHKeyCurrentUser) {
        hive = reghive::Hive::User;
        return true;
    }
    if (key == kHKeyLocalMachine) {
        hive = reghive::Hive::Machine;
        return true;
    }
    return false;
}

// The key and rights of `key`; kErrorInvalidHandle (recorded) for anything but a predefined
// root or an open handle.
// `withPath` false leaves out the key's path, which only opening and deleting below it need.
uint32_t Resolve(RegKey key, reghive::KeyRef& ref, uint32_t& access, bool withPath = true) {
    reghive::Hive hive;
    if (RootHive(key, hive)) {
        ref = reghive::KeyRef{hive, 0, 0, std::string()};
        access = kKeyAllAccess;
        return 0;
    }
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    if (!key || !table.live.count(key)) {
        return Fail(kErrorInvalidHandle, "The handle is invalid.");
    }
    ref.hive = key->key.hive;
    ref.id = key->key.id;
    ref.stamp = key->key.stamp;
    if (withPath) {
        ref.path = key->key.path;
    }
    access = key->access;
    return 0;
}

RegKey NewHandle(const reghive::KeyRef& ref, uint32_t access) {
    RegistryKeyObject* object = new RegistryKeyObject;
    object->key = ref;
    object->access = access & ~kViewFlags;
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.live.insert(object);
    return object;
}

// Checks a key path: names of 1 to 255 units separated by "\\" (null or empty: no names).
// Trailing separators are dropped, as Windows drops them; a leading or doubled one, or a path of
// separators alone, leaves an empty name and is refused.
uint32_t ParsePath(const char16_t* text, reghive::Path& path) {
    path.clear();
    if (!text || !*text) {
        return 0;
    }
    size_t end = std::char_traits<char16_t>::length(text);
    while (end > 0 && text[end - 1] == u'\\') {
        --end;
    }
    if (end == 0) {
        return Fail(kErrorBadPathname, "The specified path is invalid.");
    }
    size_t length = 0;
    for (size_t i = 0; i <= end; ++i) {
        if (i == end || text[i] == u'\\') {
            if (length == 0) {
                return Fail(kErrorBadPathname, "The specified path is invalid.");
            }
            if (length > kMaxKeyNameUnits) {
                return InvalidParameter();
            }
            length = 0;
        } else {
            ++length;
        }
    }
    path.assign(text, end);
    return 0;
}

// A value name: at most 16383 units for a value being set. The calls that only look a value up
// take a longer name too and do not find it, as on Windows (no value can have such a name).
uint32_t ParseValueName(const char16_t* text, std::u16string& name, bool anyLength = false) {
    name = text ? std::u16string(text) : std::u16string();
    if (!anyLength && name.size() > kMaxValueNameUnits) {
        return InvalidParameter();
    }
    return 0;
}

// Copies `name` with its terminator into a buffer of `*length` units.
uint32_t CopyName(const std::u16string& name, char16_t* buffer, uint32_t* length) {
    if (name.size() + 1 > *length) {
        return Fail(kErrorMoreData, "More data is available.");
    }
    std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
    buffer[name.size()] = u'\0';
    *length = static_cast<uint32_t>(name.size());
    return 0;
}

// Hands value bytes out as RegQueryValueExW does.
uint32_t CopyData(const std::string& bytes, uint8_t* data, uint32_t* dataSize) {
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    if (data) {
        if (*dataSize < size) {
            *dataSize = size;
            return Fail(kErrorMoreData, "More data is available.");
        }
        if (size) {
            std::memcpy(data, bytes.data(), size);
        }
    }
    if (dataSize) {
        *dataSize = size;
    }
    return 0;
}

}  // namespace

uint32_t RegOpenKeyExW(RegKey key, const char16_t* subKey, uint32_t /*options*/, uint32_t desired,
                       RegKey* result) {
    if (!result) {
        return InvalidParameter();
    }
    *result = nullptr;
    reghive::KeyRef base;
    uint32_t access = 0;
    reghive::Path path;
    if (const uint32_t rc = Resolve(key, base, access)) {
        return rc;
    }
    if (const uint32_t rc = ParsePath(subKey, path)) {
        return rc;
    }
    reghive::KeyRef found;
    if (const uint32_t rc = reghive::OpenKey(base, path, found)) {
        return rc;
    }
    *result = NewHandle(found, desired);
    return 0;
}

uint32_t RegCreateKeyExW(RegKey key, const char16_t* subKey, uint32_t /*reserved*/,
                         const char16_t* /*keyClass*/, uint32_t /*options*/, uint32_t desired,
                         const void* /*security*/, RegKey* result, uint32_t* disposition) {
    if (!result) {
        return InvalidParameter();
    }
    *result = nullptr;
    reghive::KeyRef base;
    uint32_t access = 0;
    reghive::Path path;
    if (const uint32_t rc = Resolve(key, base, access)) {
        return rc;
    }
    if (const uint32_t rc = ParsePath(subKey, path)) {
        return rc;
    }
    // As on Windows, the rights of the handle `key` play no part: creating below a handle
    // opened for reading works.
    reghive::KeyRef found;
    bool created = false;
    if (const uint32_t rc = reghive::CreateKey(base, path, found, created)) {
        return rc;
    }
    if (disposition) {
        *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    }
    *result = NewHandle(found, desired);
    return 0;
}

uint32_t RegQueryValueExW(RegKey key, const char16_t* valueName, uint32_t* /*reserved*/,
                          uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    reghive::KeyRef ref;
    uint32_t access = 0;
    std::u16string name;
    if (const uint32_t rc = Resolve(key, ref, access, false)) {
        return rc;
    }
    if (!(access & kKeyQueryValue)) {
        return AccessDenied();
    }
    if (data && !dataSize) {
        return InvalidParameter();
    }
    if (const uint32_t rc = ParseValueName(valueName, name, true)) {
        return rc;
    }
    reghive::Value value;
    if (const uint32_t rc = reghive::QueryValue(ref, name, value)) {
        return rc;
    }
    if (type) {
        *type = value.type;
    }
    return CopyData(value.bytes, data, dataSize);
}

uint32_t RegSetValueExW(RegKey key, const char16_t* valueName, uint32_t /*reserved*/, uint32_t type,
                        const uint8_t* data, uint32_t dataSize) {
    reghive::KeyRef ref;
    uint32_t access = 0;
    std::u16string name;
    if (const uint32_t rc = Resolve(key, ref, access, false)) {
        return rc;
    }
    if (!(access & kKeySetValue)) {
        return AccessDenied();
    }
    if (!data && dataSize) {
        return Fail(kErrorNoAccess, "Invalid access to memory location.");
    }
    if (const uint32_t rc = ParseValueName(valueName, name)) {
        return rc;
    }
    return reghive::SetValue(ref, name, type, data, dataSize);
}

uint32_t RegDeleteValueW(RegKey key, const char16_t* valueName) {
    reghive::KeyRef ref;
    uint32_t access = 0;
    std::u16string name;
    if (const uint32_t rc = Resolve(key, ref, access, false)) {
        return rc;
    }
    if (!(access & kKeySetValue)) {
        return AccessDenied();
    }
    if (const uint32_t rc = ParseValueName(valueName, name, true)) {
        return rc;
    }
    return reghive::DeleteValue(ref, name);
}

uint32_t RegEnumKeyExW(RegKey key, uint32_t index, char16_t* name, uint32_t* nameLength,
                       uint32_t* /*reserved*/, char16_t* keyClass, uint32_t* classLength,
                       uint64_t* lastWriteTime) {
    reghive::KeyRef ref;
    uint32_t access = 0;
    if (const uint32_t rc = Resolve(key, ref, access, false)) {
        return rc;
    }
    if (!(access & kKeyEnumerateSubKeys)) {
        return AccessDenied();
    }
    if (!name || !nameLength || (keyClass && !classLength)) {
        return InvalidParameter();
    }
    std::u16string found;
    if (const uint32_t rc = reghive::EnumKey(ref, index, found)) {
        return rc;
    }
    if (const uint32_t rc = CopyName(found, name, nameLength)) {
        return rc;
    }
    if (keyClass && *classLength > 0) {
        keyClass[0] = u'\0';
    }
    if (classLength) {
        *classLength = 0;
    }
    if (lastWriteTime) {
        *lastWriteTime = 0;
    }
    return 0;
}

uint32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name, uint32_t* nameLength,
                       uint32_t* /*reserved*/, uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    reghive::KeyRef ref;
    uint32_t access = 0;
    if (const uint32_t rc = Resolve(key, ref, access, false)) {
        return rc;
    }
    if (!(access & kKeyQueryValue)) {
        return AccessDenied();
    }
    if (!name || !nameLength || (data && !dataSize)) {
        return InvalidParameter();
    }
    reghive::Value value;
    if (const uint32_t rc = reghive::EnumValue(ref, index, value)) {
        return rc;
    }
    if (type) {
        *type = value.type;
    }
    // A name that does not fit still reports the type and the data's size, as on Windows, so
    // that one more call with buffers of the sizes needed reads the value.
    if (const uint32_t rc = CopyName(value.name, name, nameLength)) {
        if (dataSize) {
            *dataSize = static_cast<uint32_t>(value.bytes.size());
        }
        return rc;
    }
    return CopyData(value.bytes, data, dataSize);
}

uint32_t RegQueryInfoKeyW(RegKey key, char16_t* keyClass, uint32_t* classLength,
                          uint32_t* /*reserved*/, uint32_t* subKeys, uint32_t* maxSubKeyLength,
                          uint32_t* maxClassLength, uint32_t* values, uint32_t* maxValueNameLength,
                          uint32_t* maxValueLength, uint32_t* securityDescriptorSize,
                          uint64_t* lastWriteTime) {
    reghive::KeyRef ref;
    uint32_t access = 0;
    if (const uint32_t rc = Resolve(key, ref, access, false)) {
        return rc;
    }
    if (!(access & kKeyQueryValue)) {
        return AccessDenied();
    }
    if (keyClass && !classLength) {
        return InvalidParameter();
    }
    reghive::KeyCounts counts;
    if (const uint32_t rc = reghive::QueryInfo(ref, counts)) {
        return rc;
    }
    if (keyClass && *classLength > 0) {
        keyClass[0] = u'\0';
    }
    if (classLength) {
        *classLength = 0;
    }
    if (subKeys) {
        *subKeys = counts.subKeys;
    }
    if (maxSubKeyLength) {
        *maxSubKeyLength = counts.maxSubKeyName;
    }
    if (maxClassLength) {
        *maxClassLength = 0;
    }
    if (values) {
        *values = counts.values;
    }
    if (maxValueNameLength) {
        *maxValueNameLength = counts.maxValueName;
    }
    if (maxValueLength) {
        *maxValueLength = counts.maxValueData;
    }
    if (securityDescriptorSize) {
        *securityDescriptorSize = 0;
    }
    if (lastWriteTime) {
        *lastWriteTime = 0;
    }
    return 0;
}

namespace {

uint32_t DeleteKeyAt(RegKey key, const char16_t* subKey, bool tree) {
    reghive::KeyRef base;
    uint32_t access = 0;
    reghive::Path path;
    if (const uint32_t rc = Resolve(key, base, access)) {
        return rc;
    }
    if (const uint32_t rc = ParsePath(subKey, path)) {
        return rc;
    }
    // As on Windows, the rights of the handle `key` play no part, not even when it names the
    // key to delete (an empty `subKey`).
    return reghive::DeleteKey(base, path, tree);
}

}  // namespace

uint32_t RegDeleteKeyW(RegKey key, const char16_t* subKey) {
    if (!subKey) {
        return InvalidParameter();
    }
    return DeleteKeyAt(key, subKey, false);
}

uint32_t RegDeleteKeyExW(RegKey key, const char16_t* subKey, uint32_t /*desired*/,
                         uint32_t /*reserved*/) {
    if (!subKey) {
        return InvalidParameter();
    }
    return DeleteKeyAt(key, subKey, false);
}

uint32_t SHDeleteKeyW(RegKey key, const char16_t* subKey) {
    return DeleteKeyAt(key, subKey, true);
}

uint32_t RegCloseKey(RegKey key) {
    reghive::Hive hive;
    if (RootHive(key, hive)) {
        return 0;
    }
    HandleTable& table = Handles();
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        if (!key || table.live.erase(key) == 0) {
            return Fail(kErrorInvalidHandle, "The handle is invalid.");
        }
    }
    delete key;
    return 0;
}

uint32_t RegFlushKey(RegKey key) {
    reghive::KeyRef ref;
    uint32_t access = 0;
    if (const uint32_t rc = Resolve(key, ref, access, false)) {
        return rc;
    }
    return reghive::Flush(ref.hive);
}

namespace {

// RegReadValueW as the three calls it stands for: for keys that are not roots.
uint32_t ReadThroughHandle(RegKey key, const char16_t* subKey, uint32_t desired,
                           const char16_t* valueName, uint32_t* type, std::string* bytes,
                           bool* keyOpened) {
    RegKey opened = nullptr;
    if (const uint32_t rc = RegOpenKeyExW(key, subKey, 0, desired, &opened)) {
        return rc;
    }
    if (keyOpened) {
        *keyOpened = true;
    }
    uint32_t size = 0;
    uint32_t rc = RegQueryValueExW(opened, valueName, nullptr, type, nullptr, &size);
    for (int attempt = 0; rc == 0 && attempt < 8; ++attempt) {
        bytes->resize(size);
        uint32_t got = size;
        rc = RegQueryValueExW(opened, valueName, nullptr, type,
                              reinterpret_cast<uint8_t*>(&(*bytes)[0]), &got);
        if (rc == kErrorMoreData) {
            size = got;  // grown meanwhile: once more
            rc = 0;
            continue;
        }
        if (rc == 0) {
            bytes->resize(got);
            break;
        }
    }
    RegCloseKey(opened);
    return rc;
}

}  // namespace

uint32_t RegReadValueW(RegKey key, const char16_t* subKey, uint32_t desired,
                       const char16_t* valueName, uint32_t* type, std::string* bytes,
                       bool* keyOpened) {
    if (keyOpened) {
        *keyOpened = false;
    }
    if (!type || !bytes) {
        return InvalidParameter();
    }
    reghive::Hive hive;
    if (!RootHive(key, hive) || !subKey || !*subKey || !(desired & kKeyQueryValue)) {
        return ReadThroughHandle(key, subKey, desired, valueName, type, bytes, keyOpened);
    }
    reghive::Path path;
    if (const uint32_t rc = ParsePath(subKey, path)) {
        return rc;
    }
    std::u16string name;
    ParseValueName(valueName, name, true);
    reghive::Value value;
    bool found = false;
    const uint32_t rc =
        reghive::QueryValueAt(reghive::KeyRef{hive, 0, 0, std::string()}, path, name, value, found);
    if (keyOpened) {
        *keyOpened = found;
    }
    if (rc == 0) {
        *type = value.type;
        bytes->swap(value.bytes);
    }
    return rc;
}

std::string RegistryHiveFile(RegKey root) {
    reghive::Hive hive;
    if (!RootHive(root, hive)) {
        return std::string();
    }
    return reghive::HiveFile(hive);
}

void SetKeyDeletionDeniedForTesting(RegKey root, const std::u16string& path, bool deny) {
    reghive::Hive hive;
    reghive::Path parsed;
    if (!RootHive(root, hive) || ParsePath(path.c_str(), parsed) != 0) {
        return;
    }
    reghive::SetDeletionDenied(hive, parsed, deny);
}

}  // namespace platform
