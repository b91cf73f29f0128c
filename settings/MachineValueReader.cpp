#include "settings/MachineValueReader.h"

#include <cstring>

#include "platform/LastError.h"
#include "platform/Registry.h"
#include "settings/FailureReport.h"
#include "settings/SettingsText.h"

namespace vmds {

namespace {

const char16_t kProductKey[] = u"SOFTWARE\\Vomo\\";

// A name the registry can be given: not empty, and without a zero character.
bool UsableName(const std::u16string& name) {
    return !name.empty() && name.find(u'\0') == std::u16string::npos;
}

// The full key path OpenSettings gives the last node of `path`: the product key, then the
// path's components joined by "\"; false where OpenSettings fails before it reads (an empty
// path, one that does not convert, or one ending in a separator) or where the node's Open
// refuses the names.
bool KeyPath(const std::string& path, std::u16string& full) {
    const std::u16string wide = ToUtf16OrEmpty(path);
    if (wide.empty()) {
        return false;
    }
    full = kProductKey;
    std::u16string::size_type start = 0;
    for (;;) {
        const std::u16string::size_type at = wide.find_first_of(u"/\\", start);
        const std::u16string last =
            wide.substr(start, at == std::u16string::npos ? at : at - start);
        if (start > 0) {
            full += u'\\';
        }
        full += last;
        if (at == std::u16string::npos) {
            return UsableName(last) && UsableName(full);
        }
        if (at + 1 == wide.size()) {
            return false;  // a path ending in a separator
        }
        start = at + 1;
    }
}

// Answers that say the hive itself is unusable, not that a key is missing or out of reach.
bool IsStoreFailure(uint32_t rc) {
    return rc == platform::kErrorRegistryCorrupt || rc == platform::kErrorRegistryIoFailed ||
           rc == platform::kErrorDiskFull || rc == platform::kErrorNotEnoughMemory;
}

bool ReadValue(const std::string& path, const std::string& name, uint32_t& type,
               std::string& bytes) {
    std::u16string full;
    const std::u16string wideName = ToUtf16OrEmpty(name);
    // A node refuses an unusable value name before it reads.
    if (!KeyPath(path, full) || !UsableName(wideName)) {
        return false;
    }
    bool opened = false;
    const uint32_t rc = platform::RegReadValueW(platform::kHKeyLocalMachine, full.c_str(),
                                                platform::kKeyRead | platform::kKeyWow64_64Key,
                                                wideName.c_str(), &type, &bytes, &opened);
    if (!opened && IsStoreFailure(rc)) {
        ReportFailure(std::string("The registry cannot be read: ") + platform::GetLastErrorText());
    }
    return rc == 0;
}

// A REG_QWORD or REG_DWORD of 8 or 4 bytes, little-endian.
bool Number(uint32_t type, const std::string& bytes, uint64_t& value) {
    if ((type != platform::kRegQword && type != platform::kRegDword) ||
        (bytes.size() != 8 && bytes.size() != 4)) {
        return false;
    }
    value = 0;
    for (size_t i = bytes.size(); i-- > 0;) {
        value = (value << 8) | static_cast<uint8_t>(bytes[i]);
    }
    return true;
}

}  // namespace

bool ReadMachineUInt32(const std::string& path, const std::string& name, uint32_t& value) {
    uint32_t type = 0;
    std::string bytes;
    uint64_t number = 0;
    if (!ReadValue(path, name, type, bytes) || !Number(type, bytes, number)) {
        return false;
    }
    value = static_cast<uint32_t>(number);
    return true;
}

bool ReadMachineBool(const std::string& path, const std::string& name, bool& value) {
    uint32_t type = 0;
    std::string bytes;
    uint64_t number = 0;
    if (!ReadValue(path, name, type, bytes) || type != platform::kRegDword || bytes.size() != 4 ||
        !Number(type, bytes, number)) {
        return false;
    }
    value = number != 0;
    return true;
}

bool ReadMachineString(const std::string& path, const std::string& name, std::string& text) {
    uint32_t type = 0;
    std::string bytes;
    if (!ReadValue(path, name, type, bytes) || type != platform::kRegSz || bytes.empty()) {
        return false;
    }
    // Units up to the first zero one; an odd last byte is a unit of its own, as it lands in a
    // zeroed buffer.
    std::u16string wide((bytes.size() + 1) / 2, u'\0');
    std::memcpy(&wide[0], bytes.data(), bytes.size());
    const std::u16string::size_type end = wide.find(u'\0');
    if (end != std::u16string::npos) {
        wide.resize(end);
    }
    return Utf16ToUtf8(wide, text);
}

}  // namespace vmds
