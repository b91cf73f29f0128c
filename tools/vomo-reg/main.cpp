// vomo-reg: reads and changes the registry hives from the command line, with the syntax and the
// output layout of Windows reg.exe.
//
//   vomo-reg query  KEY [/v NAME | /ve] [/s]
//   vomo-reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
//   vomo-reg delete KEY [/v NAME | /ve | /va] [/f]
//
// KEY starts with HKLM, HKCU, HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER. Switches start with "/" or
// "-" and may be written in any case; /reg:32 and /reg:64 are accepted and change nothing.
//
// query prints a blank line, then each key's full name (root spelled out) followed by one row
// per value: four blanks, the name ("(Default)" for the unnamed value), four blanks, the type,
// four blanks, the data. Numbers are printed as lower-case hexadecimal with "0x", binary data as
// upper-case hexadecimal digits, REG_MULTI_SZ items joined by "\0", and a type this tool has no
// name for as its number ("0x..") with hexadecimal data. Without /s the subkeys of KEY follow as
// full names; with /s each subkey is printed the same way in turn; /v or /ve with /s searches the
// whole tree and ends with "End of search: N match(es) found.".
//
// add creates KEY (every missing key of the path) and, when a value is named (or /t or /d is
// given, for the default value), sets it: /t is REG_SZ (the default), REG_EXPAND_SZ, REG_DWORD,
// REG_QWORD, REG_BINARY or REG_MULTI_SZ; /d numbers are decimal or "0x" hexadecimal, binary
// data is hexadecimal digits, REG_MULTI_SZ items are separated by "\0" or by the one character
// given with /s. Without /f an existing value is overwritten only when the user answers yes.
//
// delete removes KEY with everything below it, one value (/v, /ve) or all values of KEY (/va),
// after asking unless /f is given.
//
// The exit status is 0 on success (and when the user declines), 1 otherwise, with a line
// starting "ERROR:" on standard error.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <utf8.h>

#include "platform/LastError.h"
#include "platform/Registry.h"
#include "platform/RegistryNames.h"
#include "settings/SettingsText.h"

namespace {

using platform::RegKey;

const char kNotFound[] = "The system was unable to find the specified registry key or value.";

// ---- text ----

// UTF-8 to UTF-16; false for a text that is not well-formed.
bool ToUtf16(const std::string& text, std::u16string& out) {
    return vmds::Utf8ToUtf16(text, out);
}

// UTF-16 to UTF-8 for printing; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const std::u16string& text) {
    return utf8::replace_invalid(platform::regnames::ToStored(text));
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// ---- failures ----

struct Failure {
    std::string message;  // without "ERROR: "
};

[[noreturn]] void Fail(const std::string& message) {
    throw Failure{message};
}

[[noreturn]] void InvalidSyntax(const std::string& operation) {
    Fail("Invalid syntax.\nType \"vomo-reg " + operation + " /?\" for usage.");
}

// The message for a registry call that answered `code`.
[[noreturn]] void FailWithCode(uint32_t code) {
    if (code == platform::kErrorFileNotFound || code == platform::kErrorKeyDeleted) {
        Fail(kNotFound);
    }
    if (code == platform::kErrorAccessDenied) {
        Fail("Access is denied.");
    }
    const std::string text = platform::GetLastErrorText();
    Fail(text.empty() ? "The registry answered error " + std::to_string(code) + "." : text);
}

class Key {
public:
    Key() = default;
    ~Key() {
        if (key_) {
            platform::RegCloseKey(key_);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    RegKey* Out() { return &key_; }
    RegKey Get() const { return key_; }

private:
    RegKey key_ = nullptr;
};

// ---- arguments ----

struct KeyName {
    RegKey root = nullptr;
    std::string display;  // the full name as printed, root spelled out
    std::u16string path;  // below the root; empty for the root itself
};

KeyName ParseKey(const std::string& text) {
    const std::string::size_type slash = text.find('\\');
    const std::string rootText = Upper(text.substr(0, slash));
    KeyName key;
    std::string longRoot;
    if (rootText == "HKLM" || rootText == "HKEY_LOCAL_MACHINE") {
        key.root = platform::kHKeyLocalMachine;
        longRoot = "HKEY_LOCAL_MACHINE";
    } else if (rootText == "HKCU" || rootText == "HKEY_CURRENT_USER") {
        key.root = platform::kHKeyCurrentUser;
        longRoot = "HKEY_CURRENT_USER";
    } else {
        Fail("Invalid key name.");
    }
    std::string path = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    while (!path.empty() && path.back() == '\\') {
        path.pop_back();
    }
    if (!ToUtf16(path, key.path)) {
        Fail("Invalid key name.");
    }
    key.display = path.empty() ? longRoot : longRoot + "\\" + path;
    return key;
}

struct Options {
    bool haveName = false;  // /v or /ve
    std::u16string name;    // empty with /ve
    std::string nameText;
    bool allValues = false;  // /va
    bool recurse = false;    // /s (query)
    bool force = false;      // /f
    bool haveType = false;
    std::string type;
    bool haveData = false;
    std::string data;
    bool haveSeparator = false;
    char16_t separator = 0;
};

bool IsSwitch(const std::string& arg) {
    return arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-');
}

// Parses the switches after KEY for `operation`; every switch at most once.
Options ParseOptions(const std::string& operation, const std::vector<std::string>& args) {
    Options options;
    bool sawVe = false;
    bool sawView = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (!IsSwitch(args[i])) {
            InvalidSyntax(operation);
        }
        const std::string name = Lower(args[i].substr(1));
        auto next = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                InvalidSyntax(operation);
            }
            return args[++i];
        };
        if (name == "v") {
            if (options.haveName) {
                InvalidSyntax(operation);
            }
            options.haveName = true;
            options.nameText = next();
            if (!ToUtf16(options.nameText, options.name)) {
                Fail("The value name is not valid UTF-8.");
            }
        } else if (name == "ve") {
            if (options.haveName || sawVe) {
                InvalidSyntax(operation);
            }
            options.haveName = true;
            sawVe = true;
        } else if (name == "va" && operation == "DELETE") {
            if (options.allValues) {
                InvalidSyntax(operation);
            }
            options.allValues = true;
        } else if (name == "s" && operation == "QUERY") {
            if (options.recurse) {
                InvalidSyntax(operation);
            }
            options.recurse = true;
        } else if (name == "s" && operation == "ADD") {
            const std::string separator = next();
            std::u16string wide;
            if (options.haveSeparator || !ToUtf16(separator, wide) || wide.size() != 1) {
                InvalidSyntax(operation);
            }
            options.haveSeparator = true;
            options.separator = wide[0];
        } else if (name == "t" && operation == "ADD") {
            if (options.haveType) {
                InvalidSyntax(operation);
            }
            options.haveType = true;
            options.type = Upper(next());
        } else if (name == "d" && operation == "ADD") {
            if (options.haveData) {
                InvalidSyntax(operation);
            }
            options.haveData = true;
            options.data = next();
        } else if (name == "f" && operation != "QUERY") {
            if (options.force) {
                InvalidSyntax(operation);
            }
            options.force = true;
        } else if (name == "reg:32" || name == "reg:64") {
            if (sawView) {
                InvalidSyntax(operation);
            }
            sawView = true;
        } else {
            InvalidSyntax(operation);
        }
    }
    if (options.allValues && options.haveName) {
        InvalidSyntax(operation);
    }
    return options;
}

// Asks a yes/no question on the terminal; true only for an answer starting with "y".
bool Confirm(const std::string& question) {
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::cout << "\n";
        return false;
    }
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

// ---- value text ----

struct TypeName {
    uint32_t type;
    const char* name;
};

const TypeName kTypeNames[] = {
    {platform::kRegNone, "REG_NONE"},
    {platform::kRegSz, "REG_SZ"},
    {platform::kRegExpandSz, "REG_EXPAND_SZ"},
    {platform::kRegBinary, "REG_BINARY"},
    {platform::kRegDword, "REG_DWORD"},
    {5, "REG_DWORD_BIG_ENDIAN"},
    {6, "REG_LINK"},
    {platform::kRegMultiSz, "REG_MULTI_SZ"},
    {8, "REG_RESOURCE_LIST"},
    {9, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {10, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {platform::kRegQword, "REG_QWORD"},
};

// The types `add /t` writes.
const uint32_t kAddableTypes[] = {platform::kRegSz,     platform::kRegExpandSz,
                                  platform::kRegDword,  platform::kRegQword,
                                  platform::kRegBinary, platform::kRegMultiSz};

std::string TypeText(uint32_t type) {
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type) {
            return entry.name;
        }
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", type);
    return buffer;
}

std::u16string Units(const std::string& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return units;
}

uint64_t LittleEndian(const std::string& bytes) {
    uint64_t value = 0;
    for (size_t i = bytes.size(); i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

std::string HexBytes(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

std::string DataText(uint32_t type, const std::string& bytes) {
    char buffer[32];
    switch (type) {
        case platform::kRegSz:
        case platform::kRegExpandSz: {
            std::u16string text = Units(bytes);
            const std::u16string::size_type end = text.find(u'\0');
            if (end != std::u16string::npos) {
                text.erase(end);
            }
            return ToUtf8(text);
        }
        case platform::kRegDword:
            if (bytes.size() == 4) {
                std::snprintf(buffer, sizeof buffer, "0x%x",
                              static_cast<unsigned>(LittleEndian(bytes)));
                return buffer;
            }
            return HexBytes(bytes);
        case platform::kRegQword:
            if (bytes.size() == 8) {
                std::snprintf(buffer, sizeof buffer, "0x%llx",
                              static_cast<unsigned long long>(LittleEndian(bytes)));
                return buffer;
            }
            return HexBytes(bytes);
        case platform::kRegMultiSz: {
            std::u16string units = Units(bytes);
            // The list ends with an empty item: drop the terminators.
            for (int i = 0; i < 2 && !units.empty() && units.back() == u'\0'; ++i) {
                units.pop_back();
            }
            std::string text;
            std::u16string::size_type start = 0;
            for (;;) {
                const std::u16string::size_type end = units.find(u'\0', start);
                text += ToUtf8(units.substr(
                    start, end == std::u16string::npos ? std::u16string::npos : end - start));
                if (end == std::u16string::npos) {
                    return text;
                }
                text += "\\0";
                start = end + 1;
            }
        }
        default:
            return HexBytes(bytes);
    }
}

// Parses a /d number: decimal digits, or "0x" and hexadecimal digits, at most `maximum`.
bool ParseNumber(const std::string& text, uint64_t maximum, uint64_t& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) {
        return false;
    }
    const uint64_t base = hex ? 16 : 10;
    value = 0;
    for (char c : digits) {
        uint64_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint64_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<uint64_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<uint64_t>(c - 'A' + 10);
        } else {
            return false;
        }
        if (value > (maximum - digit) / base) {
            return false;
        }
        value = value * base + digit;
    }
    return true;
}

std::string UnitsToBytes(const std::u16string& units) {
    std::string bytes;
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string LittleEndianBytes(uint64_t value, size_t size) {
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// The bytes `add` stores for /t `type` and /d `options.data`.
std::string EncodeData(uint32_t type, const Options& options) {
    const std::string& data = options.data;
    switch (type) {
        case platform::kRegSz:
        case platform::kRegExpandSz: {
            std::u16string text;
            if (!ToUtf16(data, text)) {
                Fail("The data is not valid UTF-8.");
            }
            return UnitsToBytes(text + u'\0');
        }
        case platform::kRegDword:
        case platform::kRegQword: {
            const bool dword = type == platform::kRegDword;
            uint64_t value = 0;
            if (!options.haveData || !ParseNumber(data, dword ? UINT32_MAX : UINT64_MAX, value)) {
                Fail(std::string("Invalid value for /d: ") + (dword ? "REG_DWORD" : "REG_QWORD") +
                     " data is a decimal or 0x hexadecimal number that fits in " +
                     (dword ? "32" : "64") + " bits.");
            }
            return LittleEndianBytes(value, dword ? 4 : 8);
        }
        case platform::kRegBinary: {
            std::string bytes;
            // An odd count of digits starts with a byte of one digit.
            const std::string digits = (data.size() % 2 ? "0" : "") + data;
            for (size_t i = 0; i < digits.size(); i += 2) {
                uint64_t byte = 0;
                if (!ParseNumber("0x" + digits.substr(i, 2), 0xFF, byte)) {
                    Fail("Invalid value for /d: REG_BINARY data is hexadecimal digits.");
                }
                bytes += static_cast<char>(byte);
            }
            return bytes;
        }
        case platform::kRegMultiSz: {
            std::u16string text;
            if (!ToUtf16(data, text)) {
                Fail("The data is not valid UTF-8.");
            }
            std::vector<std::u16string> items;
            std::u16string item;
            for (size_t i = 0; i < text.size(); ++i) {
                const bool atDefault = !options.haveSeparator && text[i] == u'\\' &&
                                       i + 1 < text.size() && text[i + 1] == u'0';
                if (atDefault || (options.haveSeparator && text[i] == options.separator)) {
                    items.push_back(item);
                    item.clear();
                    i += atDefault ? 1 : 0;
                } else {
                    item += text[i];
                }
            }
            items.push_back(item);
            if (items.size() == 1 && items[0].empty()) {
                items.clear();
            }
            std::u16string units;
            for (const std::u16string& each : items) {
                if (each.empty()) {
                    Fail("Invalid value for /d: REG_MULTI_SZ items cannot be empty.");
                }
                units += each + u'\0';
            }
            units += u'\0';
            if (items.empty()) {
                units += u'\0';
            }
            return UnitsToBytes(units);
        }
        default:
            Fail("Unsupported type.");
    }
}

// ---- reading a key ----

struct Value {
    std::u16string name;
    uint32_t type = 0;
    std::string bytes;
};

std::vector<Value> ReadValues(RegKey key) {
    std::vector<Value> values;
    uint32_t longestName = 0;
    uint32_t longestData = 0;
    uint32_t rc =
        platform::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &longestName, &longestData, nullptr, nullptr);
    if (rc != 0) {
        FailWithCode(rc);
    }
    std::vector<char16_t> name(longestName + 1);
    std::string data(longestData, '\0');
    for (uint32_t index = 0;;) {
        uint32_t nameLength = static_cast<uint32_t>(name.size());
        uint32_t dataSize = static_cast<uint32_t>(data.size());
        Value value;
        rc = platform::RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &value.type,
                                     reinterpret_cast<uint8_t*>(&data[0]), &dataSize);
        if (rc == platform::kErrorNoMoreItems) {
            return values;
        }
        if (rc == platform::kErrorMoreData) {
            // Changed meanwhile: make room and read this index again.
            name.resize(name.size() * 2 + 256);
            data.resize(std::max<size_t>(data.size() * 2, dataSize));
            continue;
        }
        if (rc != 0) {
            FailWithCode(rc);
        }
        value.name.assign(name.data(), nameLength);
        value.bytes = data.substr(0, dataSize);
        values.push_back(value);
        ++index;
    }
}

std::vector<std::u16string> ReadSubKeys(RegKey key) {
    std::vector<std::u16string> names;
    char16_t name[256];
    for (uint32_t index = 0;; ++index) {
        uint32_t length = 256;
        const uint32_t rc =
            platform::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == platform::kErrorNoMoreItems) {
            return names;
        }
        if (rc != 0) {
            FailWithCode(rc);
        }
        names.emplace_back(name, length);
    }
}

void PrintRow(const std::u16string& name, const std::string& type, const std::string& data) {
    std::cout << "    " << (name.empty() ? std::string("(Default)") : ToUtf8(name)) << "    "
              << type << "    " << data << "\n";
}

void PrintValue(const Value& value) {
    PrintRow(value.name, TypeText(value.type), DataText(value.type, value.bytes));
}

// Reads one value; false when it does not exist.
bool ReadValue(RegKey key, const std::u16string& name, Value& value) {
    uint32_t size = 0;
    uint32_t rc =
        platform::RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    while (rc == 0) {
        value.bytes.assign(size, '\0');
        rc = platform::RegQueryValueExW(key, name.c_str(), nullptr, &value.type,
                                        reinterpret_cast<uint8_t*>(&value.bytes[0]), &size);
        if (rc == 0) {
            value.bytes.resize(size);
            value.name = name;
            return true;
        }
        if (rc == platform::kErrorMoreData) {
            rc = 0;  // grew meanwhile
        }
    }
    if (rc != platform::kErrorFileNotFound) {
        FailWithCode(rc);
    }
    return false;
}

bool OpenChild(RegKey parent, const std::u16string& name, Key& child) {
    return platform::RegOpenKeyExW(parent, name.c_str(), 0, platform::kKeyRead, child.Out()) == 0;
}

// A key's values, then its subkeys (recursing with /s), as reg.exe lays them out.
void QueryAll(RegKey key, const std::string& display, bool recurse, bool nested) {
    const std::vector<Value> values = ReadValues(key);
    if (!values.empty() || nested) {
        std::cout << display << "\n";
    }
    for (const Value& value : values) {
        PrintValue(value);
    }
    if (!values.empty() || nested) {
        std::cout << "\n";
    }
    for (const std::u16string& name : ReadSubKeys(key)) {
        const std::string childDisplay = display + "\\" + ToUtf8(name);
        if (!recurse) {
            std::cout << childDisplay << "\n";
            continue;
        }
        Key child;
        if (OpenChild(key, name, child)) {
            QueryAll(child.Get(), childDisplay, true, true);
        }
    }
}

// One value of a key (and with /s, of every key below); the count of values found.
size_t QueryOne(RegKey key, const std::string& display, const std::u16string& name, bool recurse) {
    size_t found = 0;
    Value value;
    if (ReadValue(key, name, value)) {
        std::cout << display << "\n";
        PrintValue(value);
        std::cout << "\n";
        ++found;
    }
    if (recurse) {
        for (const std::u16string& child : ReadSubKeys(key)) {
            Key sub;
            if (OpenChild(key, child, sub)) {
                found += QueryOne(sub.Get(), display + "\\" + ToUtf8(child), name, true);
            }
        }
    }
    return found;
}

// ---- commands ----

int Query(const KeyName& keyName, const Options& options) {
    Key key;
    const uint32_t rc = platform::RegOpenKeyExW(keyName.root, keyName.path.c_str(), 0,
                                                platform::kKeyRead, key.Out());
    if (rc != 0) {
        FailWithCode(rc);
    }
    if (!options.haveName) {
        std::cout << "\n";
        QueryAll(key.Get(), keyName.display, options.recurse, false);
        return 0;
    }
    if (options.recurse) {
        std::cout << "\n";
        const size_t found = QueryOne(key.Get(), keyName.display, options.name, true);
        std::cout << "End of search: " << found << " match(es) found.\n";
        return 0;
    }
    Value value;
    if (!ReadValue(key.Get(), options.name, value)) {
        if (!options.name.empty()) {
            Fail(kNotFound);
        }
        std::cout << "\n" << keyName.display << "\n";
        PrintRow(options.name, "REG_SZ", "(value not set)");
        std::cout << "\n";
        return 0;
    }
    std::cout << "\n" << keyName.display << "\n";
    PrintValue(value);
    std::cout << "\n";
    return 0;
}

int Add(const KeyName& keyName, const Options& options) {
    uint32_t type = platform::kRegSz;
    if (options.haveType) {
        bool known = false;
        for (uint32_t each : kAddableTypes) {
            if (TypeText(each) == options.type) {
                type = each;
                known = true;
            }
        }
        if (!known) {
            Fail("Invalid type " + options.type + ": use REG_SZ, REG_EXPAND_SZ, REG_DWORD, " +
                 "REG_QWORD, REG_BINARY or REG_MULTI_SZ.");
        }
    }
    const bool setsValue = options.haveName || options.haveType || options.haveData;
    // Checked before anything is written.
    const std::string bytes = setsValue ? EncodeData(type, options) : std::string();

    Key key;
    uint32_t rc = platform::RegCreateKeyExW(keyName.root, keyName.path.c_str(), 0, nullptr, 0,
                                            platform::kKeyAllAccess, nullptr, key.Out(), nullptr);
    if (rc != 0) {
        FailWithCode(rc);
    }
    if (setsValue) {
        Value existing;
        if (!options.force && ReadValue(key.Get(), options.name, existing) &&
            !Confirm("Value " +
                     (options.name.empty() ? std::string("(Default)") : ToUtf8(options.name)) +
                     " exists, overwrite")) {
            std::cout << "The operation was cancelled.\n";
            return 0;
        }
        rc = platform::RegSetValueExW(key.Get(), options.name.c_str(), 0, type,
                                      reinterpret_cast<const uint8_t*>(bytes.data()),
                                      static_cast<uint32_t>(bytes.size()));
        if (rc != 0) {
            FailWithCode(rc);
        }
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Delete(const KeyName& keyName, const Options& options) {
    if (!options.haveName && !options.allValues) {
        if (keyName.path.empty()) {
            Fail("A registry root cannot be deleted.");
        }
        Key exists;
        uint32_t rc = platform::RegOpenKeyExW(keyName.root, keyName.path.c_str(), 0,
                                              platform::kKeyRead, exists.Out());
        if (rc != 0) {
            FailWithCode(rc);
        }
        if (!options.force && !Confirm("Permanently delete the registry key " + keyName.display)) {
            std::cout << "The operation was cancelled.\n";
            return 0;
        }
        rc = platform::SHDeleteKeyW(keyName.root, keyName.path.c_str());
        if (rc != 0) {
            FailWithCode(rc);
        }
        std::cout << "The operation completed successfully.\n";
        return 0;
    }

    Key key;
    uint32_t rc = platform::RegOpenKeyExW(keyName.root, keyName.path.c_str(), 0,
                                          platform::kKeyAllAccess, key.Out());
    if (rc != 0) {
        FailWithCode(rc);
    }
    std::vector<std::u16string> names;
    if (options.allValues) {
        for (const Value& value : ReadValues(key.Get())) {
            names.push_back(value.name);
        }
    } else {
        Value value;
        if (!ReadValue(key.Get(), options.name, value)) {
            Fail(kNotFound);
        }
        names.push_back(options.name);
    }
    const std::string question =
        options.allValues
            ? "Delete all values under the registry key " + keyName.display
            : "Delete the registry value " +
                  (options.name.empty() ? std::string("(Default)") : ToUtf8(options.name));
    if (!options.force && !Confirm(question)) {
        std::cout << "The operation was cancelled.\n";
        return 0;
    }
    for (const std::u16string& name : names) {
        rc = platform::RegDeleteValueW(key.Get(), name.c_str());
        if (rc != 0 && rc != platform::kErrorFileNotFound) {
            FailWithCode(rc);
        }
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

void Usage(std::ostream& out) {
    out << "vomo-reg: reads and changes the registry hives, as reg.exe does.\n"
           "\n"
           "  vomo-reg query  KEY [/v NAME | /ve] [/s]\n"
           "  vomo-reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
           "  vomo-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
           "\n"
           "  KEY     HKLM\\PATH or HKCU\\PATH (also HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER)\n"
           "  /v      the value NAME; /ve the unnamed (default) value; /va every value\n"
           "  /s      query: every key below KEY too; add: the REG_MULTI_SZ item separator\n"
           "          (\"\\0\" when not given)\n"
           "  /t      REG_SZ (default), REG_EXPAND_SZ, REG_DWORD, REG_QWORD, REG_BINARY,\n"
           "          REG_MULTI_SZ\n"
           "  /d      the data: numbers decimal or 0x hexadecimal, binary as hexadecimal digits\n"
           "  /f      no question before overwriting or deleting\n"
           "\n"
           "The hives are $VOMO_REGISTRY_ROOT/machine.db and user.db when VOMO_REGISTRY_ROOT is\n"
           "set. The exit status is 0 on success, 1 on failure.\n";
}

bool IsHelp(const std::string& arg) {
    return arg == "/?" || arg == "-?" || Lower(arg) == "/h" || Lower(arg) == "-h" ||
           arg == "--help";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.empty()) {
            Fail("Invalid syntax.\nType \"vomo-reg /?\" for usage.");
        }
        if (IsHelp(args[0]) || (args.size() == 2 && IsHelp(args[1]))) {
            Usage(std::cout);
            return 0;
        }
        const std::string operation = Upper(args[0]);
        if (operation != "QUERY" && operation != "ADD" && operation != "DELETE") {
            Fail("Invalid syntax.\nType \"vomo-reg /?\" for usage.");
        }
        if (args.size() < 2) {
            InvalidSyntax(operation);
        }
        const KeyName key = ParseKey(args[1]);
        const Options options =
            ParseOptions(operation, std::vector<std::string>(args.begin() + 2, args.end()));
        if (operation == "QUERY") {
            return Query(key, options);
        }
        if (operation == "ADD") {
            return Add(key, options);
        }
        return Delete(key, options);
    } catch (const Failure& failure) {
        std::cout << std::flush;
        std::cerr << "ERROR: " << failure.message << std::endl;
        return 1;
    }
}
