// The settings store: VomoSettings nodes over the registry layer, and OpenSettings.
#include <cstring>
#include <set>
#include <vector>

#include "platform/LastError.h"
#include "platform/Registry.h"
#include "platform/RegistryLibrary.h"
#include "platform/RegistryNames.h"
#include "settings/FailureReport.h"
#include "settings/ScopedRegistry.h"
#include "settings/SettingsText.h"
#include "settings/VomoSettings.h"

namespace {

using platform::RegKey;

const char16_t kProductKey[] = u"SOFTWARE\\Vomo\\";
const uint32_t kFull = platform::kKeyAllAccess | platform::kKeyWow64_64Key;
const uint32_t kRead = platform::kKeyRead | platform::kKeyWow64_64Key;

enum class Use { None, Open, Create };
enum class OpenedWhen { User, Machine, Either };

// One row of the open-mode table: what is done in each hive, when the node counts as opened,
// which hive is written and read first, and whether reads fall back to the machine hive.
struct ModeRow {
    Use user;
    uint32_t userAccess;
    Use machine;
    uint32_t machineAccess;
    OpenedWhen opened;
    bool userFirst;
    bool fallback;
};

const ModeRow kModes[] = {
    {Use::None, 0, Use::None, 0, OpenedWhen::Either, true, false},          // 0: none
    {Use::Open, kFull, Use::None, 0, OpenedWhen::User, true, false},        // 1
    {Use::Open, kFull, Use::Open, kFull, OpenedWhen::Either, true, true},   // 2
    {Use::None, 0, Use::Open, kFull, OpenedWhen::Machine, false, false},    // 3
    {Use::Open, kRead, Use::None, 0, OpenedWhen::User, true, false},        // 4
    {Use::Open, kRead, Use::Open, kRead, OpenedWhen::Either, true, true},   // 5
    {Use::None, 0, Use::Open, kRead, OpenedWhen::Machine, false, false},    // 6
    {Use::Create, kFull, Use::None, 0, OpenedWhen::User, true, false},      // 7
    {Use::Create, kFull, Use::Open, kFull, OpenedWhen::User, true, true},   // 8
    {Use::None, 0, Use::Create, kFull, OpenedWhen::Machine, false, false},  // 9
};

const ModeRow* RowOf(uint32_t mode) {
    return (mode >= 1 && mode <= 9) ? &kModes[mode] : nullptr;
}

// A name the registry can be given: not empty, and without a zero character, at which the
// registry would cut it short.
bool UsableName(const std::u16string& name) {
    return !name.empty() && name.find(u'\0') == std::u16string::npos;
}

// Splits `path` at its first "/" or "\".
void SplitFirst(const std::u16string& path, std::u16string& first, std::u16string& rest,
                bool& hasRest) {
    const std::u16string::size_type at = path.find_first_of(u"/\\");
    hasRest = at != std::u16string::npos;
    first = hasRest ? path.substr(0, at) : path;
    rest = hasRest ? path.substr(at + 1) : std::u16string();
}

uint64_t FromLittleEndian(const uint8_t* bytes, uint32_t size) {
    uint64_t value = 0;
    for (uint32_t i = size; i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

void ToLittleEndian(uint64_t value, uint8_t* bytes, uint32_t size) {
    for (uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Deletes the machine-hive key at `path` with its subtree, subkeys first (the last index
// first, so that deleting does not move the keys still to be read), stopping at the first key
// that cannot be deleted.
bool DeleteMachineTree(const std::u16string& path, platform::RegDeleteKeyExWProc deleteKey) {
    ScopedLMKey key;
    if (platform::RegOpenKeyExW(platform::kHKeyLocalMachine, path.c_str(), 0, kFull,
                                key.Receive()) != 0) {
        return false;
    }
    uint32_t count = 0;
    uint32_t longest = 0;
    if (platform::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr) != 0) {
        return false;
    }
    std::vector<char16_t> name(longest + 1);
    for (uint32_t index = count; index-- > 0;) {
        uint32_t length = static_cast<uint32_t>(name.size());
        if (platform::RegEnumKeyExW(key.Get(), index, name.data(), &length, nullptr, nullptr,
                                    nullptr, nullptr) != 0) {
            continue;  // a name that cannot be read is skipped
        }
        if (!DeleteMachineTree(path + u"\\" + std::u16string(name.data(), length), deleteKey)) {
            return false;
        }
    }
    return deleteKey(platform::kHKeyLocalMachine, path.c_str(), platform::kKeyWow64_64Key, 0) == 0;
}

}  // namespace

VomoSettings::VomoSettings(const std::u16string& name, const std::u16string& parentPath,
                           uint32_t mode)
    : fullPath_(parentPath.empty() ? kProductKey + name : parentPath + u"\\" + name),
      name_(name),
      mode_(mode) {}

VomoSettings::~VomoSettings() {
    Close();
}

int32_t VomoSettings::AddRef() {
    return ++refCount_;
}

int32_t VomoSettings::Release() {
    if (--refCount_ <= 0) {
        delete this;
        return 0;
    }
    return refCount_;
}

int32_t VomoSettings::GetRefCount() {
    return refCount_;
}

void VomoSettings::SetChild(const std::u16string& name, VomoSettings* child) {
    children_[name] = ChildPtr(child);
}

void VomoSettings::Close() {
    if (userKey_) {
        platform::RegCloseKey(userKey_);
        userKey_ = nullptr;
    }
    if (machineKey_) {
        platform::RegCloseKey(machineKey_);
        machineKey_ = nullptr;
    }
    // Moved out first: releasing a child must not find the map half-changed.
    std::map<std::u16string, ChildPtr> children;
    children.swap(children_);
}

void VomoSettings::DropDeletedHandles() {
    for (RegKey* held : {&userKey_, &machineKey_}) {
        if (*held && platform::RegQueryInfoKeyW(*held, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr) == platform::kErrorKeyDeleted) {
            platform::RegCloseKey(*held);
            *held = nullptr;
        }
    }
}

namespace {

// Answers that say the hive itself is unusable, not that a key is missing or out of reach.
bool IsStoreFailure(uint32_t rc) {
    return rc == platform::kErrorRegistryCorrupt || rc == platform::kErrorRegistryIoFailed ||
           rc == platform::kErrorDiskFull || rc == platform::kErrorNotEnoughMemory;
}

}  // namespace

bool VomoSettings::Open() {
    const ModeRow* row = RowOf(mode_);
    if (!row || !UsableName(name_) || !UsableName(fullPath_)) {
        return false;
    }
    auto openIn = [this](RegKey root, Use use, uint32_t access, RegKey& held) {
        if (use == Use::None || held) {
            return;
        }
        RegKey key = nullptr;
        const uint32_t rc = use == Use::Create
                                ? platform::RegCreateKeyExW(root, fullPath_.c_str(), 0, nullptr, 0,
                                                            access, nullptr, &key, nullptr)
                                : platform::RegOpenKeyExW(root, fullPath_.c_str(), 0, access, &key);
        if (rc == 0) {
            held = key;
        } else if (IsStoreFailure(rc)) {
            vmds::ReportFailure(std::string("The registry cannot be read: ") +
                                platform::GetLastErrorText());
        }
    };
    openIn(platform::kHKeyCurrentUser, row->user, row->userAccess, userKey_);
    openIn(platform::kHKeyLocalMachine, row->machine, row->machineAccess, machineKey_);

    bool opened = false;
    switch (row->opened) {
        case OpenedWhen::User:
            opened = userKey_ != nullptr;
            break;
        case OpenedWhen::Machine:
            opened = machineKey_ != nullptr;
            break;
        case OpenedWhen::Either:
            opened = userKey_ != nullptr || machineKey_ != nullptr;
            break;
    }
    if (opened) {
        rootHive_ = row->userFirst ? platform::kHKeyCurrentUser : platform::kHKeyLocalMachine;
    }
    return opened;
}

RegKey VomoSettings::PrimaryKey() const {
    const ModeRow* row = RowOf(mode_);
    if (!row) {
        return nullptr;
    }
    return row->userFirst ? userKey_ : machineKey_;
}

bool VomoSettings::HasFallback() const {
    const ModeRow* row = RowOf(mode_);
    return row && row->fallback;
}

// ---- names and enumeration ----

bool VomoSettings::GetName(std::u16string& name) {
    name = name_;
    return true;
}

bool VomoSettings::GetName(std::string& name) {
    return vmds::Utf16ToUtf8(name_, name);
}

bool VomoSettings::CollectNames(bool subKeys, NameSetW& names) {
    if (!Open()) {
        return false;
    }
    NameSetW found;
    // Names compare case-insensitively in the registry: a name in both hives counts once, as
    // the primary hive spells it.
    std::set<std::u16string> folded;
    auto collect = [&found, &folded, subKeys](RegKey key) {
        uint32_t count = 0;
        uint32_t longest = 0;
        const uint32_t rc =
            subKeys
                ? platform::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest,
                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
                : platform::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr, &count, &longest, nullptr, nullptr, nullptr);
        if (rc != 0) {
            return false;
        }
        std::vector<char16_t> buffer(longest + 1);
        for (uint32_t index = 0; index < count; ++index) {
            uint32_t length = static_cast<uint32_t>(buffer.size());
            const uint32_t result =
                subKeys ? platform::RegEnumKeyExW(key, index, buffer.data(), &length, nullptr,
                                                  nullptr, nullptr, nullptr)
                        : platform::RegEnumValueW(key, index, buffer.data(), &length, nullptr,
                                                  nullptr, nullptr, nullptr);
            if (result == platform::kErrorNoMoreItems) {
                break;  // fewer than counted: another writer removed some meanwhile
            }
            if (result == 0) {
                const std::u16string name(buffer.data(), length);
                if (folded.insert(platform::regnames::Fold(name)).second) {
                    found.insert(name);
                }
            }
        }
        return true;
    };
    const RegKey primary = PrimaryKey();
    if (primary && !collect(primary)) {
        return false;
    }
    if (HasFallback() && machineKey_ && !collect(machineKey_)) {
        return false;
    }
    names.swap(found);
    return true;
}

namespace {

// The UTF-8 forms of `names`; a name without one is left out.
vmds::IVomoSettings::NameSetU ToUtf8Names(const vmds::IVomoSettings::NameSetW& names) {
    vmds::IVomoSettings::NameSetU converted;
    for (const std::u16string& name : names) {
        std::string text;
        if (vmds::Utf16ToUtf8(name, text)) {
            converted.insert(text);
        }
    }
    return converted;
}

}  // namespace

bool VomoSettings::GetSubKeyCount(uint32_t& count) {
    NameSetW names;
    if (!CollectNames(true, names)) {
        return false;
    }
    count = static_cast<uint32_t>(names.size());
    return true;
}

bool VomoSettings::GetSubKeyNames(NameSetW& names) {
    return CollectNames(true, names);
}

bool VomoSettings::GetSubKeyNames(NameSetU& names) {
    NameSetW wide;
    if (!CollectNames(true, wide)) {
        return false;
    }
    names = ToUtf8Names(wide);
    return true;
}

bool VomoSettings::GetValueCount(uint32_t& count) {
    NameSetW names;
    if (!CollectNames(false, names)) {
        return false;
    }
    count = static_cast<uint32_t>(names.size());
    return true;
}

bool VomoSettings::GetValueNames(NameSetW& names) {
    return CollectNames(false, names);
}

bool VomoSettings::GetValueNames(NameSetU& names) {
    NameSetW wide;
    if (!CollectNames(false, wide)) {
        return false;
    }
    names = ToUtf8Names(wide);
    return true;
}

bool VomoSettings::OpenSubKey(const std::u16string& path, Ptr* out) {
    if (path.empty() || !Open()) {
        return false;
    }
    std::u16string first;
    std::u16string rest;
    bool hasRest = false;
    SplitFirst(path, first, rest, hasRest);
    VomoSettings* child = nullptr;
    auto cached = children_.find(first);
    if (cached != children_.end()) {
        child = static_cast<VomoSettings*>(cached->second.Get());
        // A cached child is handed out only while its key opens: one whose key was deleted, or
        // which never opened, must not pass for an existing key.
        child->DropDeletedHandles();
        if (!child->Open()) {
            return false;
        }
    } else {
        child = new VomoSettings(first, fullPath_, mode_);
        SetChild(first, child);
        if (!child->Open()) {
            return false;
        }
    }
    if (hasRest) {
        return child->OpenSubKey(rest, out);
    }
    if (out) {
        out->Assign(child);
    }
    return true;
}

bool VomoSettings::OpenSubKey(const std::string& path, Ptr* out) {
    return OpenSubKey(vmds::ToUtf16OrEmpty(path), out);
}

// ---- writing ----

bool VomoSettings::WriteValue(const std::u16string& name, uint32_t type, const void* data,
                              uint32_t size) {
    if (!UsableName(name) || !Open()) {
        return false;
    }
    const RegKey key = PrimaryKey();
    return key && platform::RegSetValueExW(key, name.c_str(), 0, type,
                                           static_cast<const uint8_t*>(data), size) == 0;
}

bool VomoSettings::SetInt64(const std::u16string& name, int64_t value) {
    return SetUInt64(name, static_cast<uint64_t>(value));
}

bool VomoSettings::SetInt64(const std::string& name, int64_t value) {
    return SetInt64(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::SetInt32(const std::u16string& name, int32_t value) {
    return SetInt64(name, static_cast<int64_t>(value));
}

bool VomoSettings::SetInt32(const std::string& name, int32_t value) {
    return SetInt32(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::SetUInt32(const std::u16string& name, uint32_t value) {
    return SetUInt64(name, static_cast<uint64_t>(value));
}

bool VomoSettings::SetUInt32(const std::string& name, uint32_t value) {
    return SetUInt32(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::SetUInt64(const std::u16string& name, uint64_t value) {
    uint8_t bytes[8];
    ToLittleEndian(value, bytes, 8);
    return WriteValue(name, platform::kRegQword, bytes, 8);
}

bool VomoSettings::SetUInt64(const std::string& name, uint64_t value) {
    return SetUInt64(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::SetInt64Parts(const std::u16string& name, uint32_t low, uint32_t high) {
    return SetUInt64(name, (static_cast<uint64_t>(high) << 32) | low);
}

bool VomoSettings::SetInt64Parts(const std::string& name, uint32_t low, uint32_t high) {
    return SetInt64Parts(vmds::ToUtf16OrEmpty(name), low, high);
}

bool VomoSettings::SetDword(const std::u16string& name, uint32_t value) {
    uint8_t bytes[4];
    ToLittleEndian(value, bytes, 4);
    return WriteValue(name, platform::kRegDword, bytes, 4);
}

bool VomoSettings::SetDword(const std::string& name, uint32_t value) {
    return SetDword(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::SetQword(const std::u16string& name, uint64_t value) {
    return SetUInt64(name, value);
}

bool VomoSettings::SetQword(const std::string& name, uint64_t value) {
    return SetQword(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::SetBool(const std::u16string& name, bool value) {
    return SetDword(name, value ? 1u : 0u);
}

bool VomoSettings::SetBool(const std::string& name, bool value) {
    return SetBool(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::SetString(const std::u16string& name, const std::u16string& text) {
    // The terminator is part of the value: 2 × length + 2 bytes.
    const size_t bytes = (text.size() + 1) * sizeof(char16_t);
    if (bytes > UINT32_MAX) {
        return false;
    }
    return WriteValue(name, platform::kRegSz, text.c_str(), static_cast<uint32_t>(bytes));
}

bool VomoSettings::SetString(const std::u16string& name, const std::string& text) {
    std::u16string converted;
    // A text that does not convert is refused rather than stored as something else.
    if (!vmds::Utf8ToUtf16(text, converted)) {
        return false;
    }
    return SetString(name, converted);
}

bool VomoSettings::SetString(const std::string& name, const std::string& text) {
    return SetString(vmds::ToUtf16OrEmpty(name), text);
}

bool VomoSettings::SetString(const std::string& name, const std::u16string& text) {
    return SetString(vmds::ToUtf16OrEmpty(name), text);
}

bool VomoSettings::SetBinary(const std::u16string& name, const vmtl::MemoryBuffer<char>& data) {
    if (data.GetCount() > UINT32_MAX) {
        return false;
    }
    return WriteValue(name, platform::kRegBinary, data.GetData(),
                      static_cast<uint32_t>(data.GetCount()));
}

bool VomoSettings::SetBinary(const std::string& name, const vmtl::MemoryBuffer<char>& data) {
    return SetBinary(vmds::ToUtf16OrEmpty(name), data);
}

// ---- reading ----

template <class Read>
bool VomoSettings::ReadValue(const std::u16string& name, Read read) {
    if (!UsableName(name) || !Open()) {
        return false;
    }
    const RegKey primary = PrimaryKey();
    if (primary && read(primary)) {
        return true;
    }
    return HasFallback() && machineKey_ && read(machineKey_);
}

namespace {

// Reads a value of at most 8 bytes; true when it exists and fits.
bool ReadSmall(RegKey key, const std::u16string& name, uint32_t& type, uint32_t& size,
               uint64_t& value) {
    uint8_t bytes[8] = {0};
    size = sizeof bytes;
    if (platform::RegQueryValueExW(key, name.c_str(), nullptr, &type, bytes, &size) != 0) {
        return false;
    }
    value = FromLittleEndian(bytes, size);
    return true;
}

}  // namespace

bool VomoSettings::ReadNumber(const std::u16string& name, uint64_t& value) {
    return ReadValue(name, [&](RegKey key) {
        uint32_t type = 0;
        uint32_t size = 0;
        uint64_t number = 0;
        if (!ReadSmall(key, name, type, size, number) ||
            (type != platform::kRegQword && type != platform::kRegDword) ||
            (size != 8 && size != 4)) {
            return false;
        }
        value = number;
        return true;
    });
}

bool VomoSettings::GetInt64(const std::u16string& name, int64_t& value) {
    uint64_t number = 0;
    if (!ReadNumber(name, number)) {
        return false;
    }
    value = static_cast<int64_t>(number);
    return true;
}

bool VomoSettings::GetInt64(const std::string& name, int64_t& value) {
    return GetInt64(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::GetInt32(const std::u16string& name, int32_t& value) {
    uint64_t number = 0;
    if (!ReadNumber(name, number)) {
        return false;
    }
    value = static_cast<int32_t>(static_cast<uint32_t>(number));
    return true;
}

bool VomoSettings::GetInt32(const std::string& name, int32_t& value) {
    return GetInt32(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::GetUInt32(const std::u16string& name, uint32_t& value) {
    uint64_t number = 0;
    if (!ReadNumber(name, number)) {
        return false;
    }
    value = static_cast<uint32_t>(number);
    return true;
}

bool VomoSettings::GetUInt32(const std::string& name, uint32_t& value) {
    return GetUInt32(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::GetUInt64(const std::u16string& name, uint64_t& value) {
    return ReadNumber(name, value);
}

bool VomoSettings::GetUInt64(const std::string& name, uint64_t& value) {
    return GetUInt64(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::GetInt64Parts(const std::u16string& name, uint32_t& low, uint32_t& high) {
    uint64_t number = 0;
    if (!ReadNumber(name, number)) {
        return false;
    }
    low = static_cast<uint32_t>(number);
    high = static_cast<uint32_t>(number >> 32);
    return true;
}

bool VomoSettings::GetInt64Parts(const std::string& name, uint32_t& low, uint32_t& high) {
    return GetInt64Parts(vmds::ToUtf16OrEmpty(name), low, high);
}

bool VomoSettings::GetDword(const std::u16string& name, uint32_t& value) {
    return ReadValue(name, [&](RegKey key) {
        uint32_t type = 0;
        uint32_t size = 0;
        uint64_t number = 0;
        if (!ReadSmall(key, name, type, size, number) || type != platform::kRegDword || size != 4) {
            return false;
        }
        value = static_cast<uint32_t>(number);
        return true;
    });
}

bool VomoSettings::GetDword(const std::string& name, uint32_t& value) {
    return GetDword(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::GetQword(const std::u16string& name, uint64_t& value) {
    return ReadValue(name, [&](RegKey key) {
        uint32_t type = 0;
        uint32_t size = 0;
        uint64_t number = 0;
        if (!ReadSmall(key, name, type, size, number) || type != platform::kRegQword || size != 8) {
            return false;
        }
        value = number;
        return true;
    });
}

bool VomoSettings::GetQword(const std::string& name, uint64_t& value) {
    return GetQword(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::GetBool(const std::u16string& name, bool& value) {
    uint32_t number = 0;
    if (!GetDword(name, number)) {
        return false;
    }
    value = number != 0;
    return true;
}

bool VomoSettings::GetBool(const std::string& name, bool& value) {
    return GetBool(vmds::ToUtf16OrEmpty(name), value);
}

bool VomoSettings::GetString(const std::u16string& name, std::u16string& text) {
    return ReadValue(name, [&](RegKey key) {
        // Most texts are short: one read into a zeroed buffer whose last unit is never written
        // answers them whole. A longer text answers "more data", and is then read as any text
        // of unknown length: its size first, then its data, which must keep type and size.
        char16_t small[256] = {};
        uint32_t type = 0;
        uint32_t size = static_cast<uint32_t>(sizeof small - sizeof small[0]);
        const uint32_t first = platform::RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                                          reinterpret_cast<uint8_t*>(small), &size);
        if (first == 0) {
            if (type != platform::kRegSz || size == 0) {
                return false;
            }
            text.assign(small);
            return true;
        }
        if (first != platform::kErrorMoreData || type != platform::kRegSz || size == 0) {
            return false;
        }
        // Zeroed and one unit longer than the value, so that the text always ends.
        std::vector<char16_t> buffer((static_cast<size_t>(size) + 2) / 2 + 1, u'\0');
        uint32_t again = static_cast<uint32_t>(buffer.size() * sizeof(char16_t));
        uint32_t typeAgain = 0;
        if (platform::RegQueryValueExW(key, name.c_str(), nullptr, &typeAgain,
                                       reinterpret_cast<uint8_t*>(buffer.data()), &again) != 0 ||
            typeAgain != platform::kRegSz || again != size) {
            return false;
        }
        text.assign(buffer.data());
        return true;
    });
}

bool VomoSettings::GetString(const std::u16string& name, std::string& text) {
    std::u16string wide;
    // A stored text without a UTF-8 form is not returned as some other text.
    return GetString(name, wide) && vmds::Utf16ToUtf8(wide, text);
}

bool VomoSettings::GetString(const std::string& name, std::string& text) {
    return GetString(vmds::ToUtf16OrEmpty(name), text);
}

bool VomoSettings::GetString(const std::string& name, std::u16string& text) {
    return GetString(vmds::ToUtf16OrEmpty(name), text);
}

bool VomoSettings::GetBinary(const std::u16string& name, vmtl::MemoryBuffer<char>& data) {
    return ReadValue(name, [&](RegKey key) {
        uint32_t type = 0;
        uint32_t size = 0;
        if (platform::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != 0 ||
            type != platform::kRegBinary || size < 1) {
            return false;
        }
        vmtl::MemoryBuffer<char> scratch;
        scratch.Resize(size, false);
        uint32_t again = size;
        uint32_t typeAgain = 0;
        if (platform::RegQueryValueExW(key, name.c_str(), nullptr, &typeAgain,
                                       reinterpret_cast<uint8_t*>(scratch.GetData()),
                                       &again) != 0 ||
            typeAgain != platform::kRegBinary || again != size) {
            return false;
        }
        data = scratch;
        return true;
    });
}

bool VomoSettings::GetBinary(const std::string& name, vmtl::MemoryBuffer<char>& data) {
    return GetBinary(vmds::ToUtf16OrEmpty(name), data);
}

// ---- deleting ----

bool VomoSettings::DeleteKey() {
    Close();
    if (fullPath_.find(kProductKey) == std::u16string::npos) {
        return false;  // never anything outside the product key
    }
    if (rootHive_ == platform::kHKeyCurrentUser) {
        return platform::SHDeleteKeyW(platform::kHKeyCurrentUser, fullPath_.c_str()) == 0;
    }
    if (rootHive_ == platform::kHKeyLocalMachine) {
        ScopedDLL advapi(u"Advapi32.dll");
        const platform::RegDeleteKeyExWProc deleteKey =
            reinterpret_cast<platform::RegDeleteKeyExWProc>(advapi.Lookup("RegDeleteKeyExW"));
        if (!deleteKey) {
            return platform::SHDeleteKeyW(platform::kHKeyLocalMachine, fullPath_.c_str()) == 0;
        }
        return DeleteMachineTree(fullPath_, deleteKey);
    }
    return false;  // never opened
}

bool VomoSettings::DeleteValue(const std::u16string& name) {
    if (!UsableName(name) || !Open()) {
        return false;
    }
    const RegKey key = PrimaryKey();
    return key && platform::RegDeleteValueW(key, name.c_str()) == 0;
}

bool VomoSettings::DeleteValue(const std::string& name) {
    return DeleteValue(vmds::ToUtf16OrEmpty(name));
}

// ---- opening by path ----

namespace vmds {

bool OpenSettings(const std::string& path, uint32_t mode, IVomoSettings::Ptr* out) {
    if (path.empty()) {
        return false;
    }
    std::u16string rest = ToUtf16OrEmpty(path);
    if (rest.empty()) {
        return false;
    }
    // Holds the top node, which holds the chain below it through its children maps; only the
    // last node stays alive after the call, through `out`.
    IVomoSettings::Ptr top;
    VomoSettings* parent = nullptr;
    for (;;) {
        std::u16string first;
        std::u16string tail;
        bool hasTail = false;
        SplitFirst(rest, first, tail, hasTail);
        VomoSettings* node =
            new VomoSettings(first, parent ? parent->FullPath() : std::u16string(), mode);
        if (parent) {
            parent->SetChild(first, node);
        } else {
            top.Assign(node);
        }
        if (!hasTail) {
            // Only the last node touches the registry.
            if (!node->Open()) {
                return false;
            }
            if (out) {
                out->Assign(node);
            }
            return true;
        }
        if (tail.empty()) {
            return false;  // a path ending in a separator
        }
        parent = node;
        rest.swap(tail);
    }
}

}  // namespace vmds
