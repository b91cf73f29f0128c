// vomo-reg: reads and changes the registry hives from the command line, with the syntax and the
// output layout of Windows reg.exe.
//
//   vomo-reg query  KEY [/v NAME | /ve] [/s]
//   vomo-reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
//   vomo-reg delete KEY [/v NAME | /ve | /va] [/f]
//
// KEY starts with HKLM, HKCU, HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER (RegCommandLine.h for what
// is refused). Switches start with "/" or "-" and may be written in any case; /reg:32 and
// /reg:64 are accepted and change nothing.
//
// query prints a blank line, then each key's full name (root spelled out) followed by one row
// per value: four blanks, the name ("(Default)" for the unnamed value), four blanks, the type,
// four blanks, the data (RegValueText.h). Without /s the subkeys of KEY follow as full names;
// with /s each subkey is printed the same way in turn; /v or /ve with /s searches the whole tree
// and ends with "End of search: N match(es) found.".
//
// add creates KEY (every missing key of the path) and sets one value: the one /v or /ve names,
// else the default value, as reg.exe does (so `add KEY` alone gives the key an empty REG_SZ
// default value). /t is REG_SZ when not given; RegValueText.h tells how /d is read for each type.
// Without /f an existing value is overwritten only when the user answers yes.
//
// delete removes KEY with everything below it, one value (/v, /ve) or all values of KEY (/va),
// after asking unless /f is given.
//
// The exit status is 0 on success and when the user answers no, 1 otherwise, with a line
// starting "ERROR:" on standard error. A question that gets no answer because standard input
// ends is such a failure (RegPrompt.h), and nothing is changed.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tools/vomo-reg/RegCommandLine.h"
#include "tools/vomo-reg/RegFailure.h"
#include "tools/vomo-reg/RegPrompt.h"
#include "tools/vomo-reg/RegValueText.h"
#include "vcm/vcm.h"

namespace vomoreg {
namespace {

using platform::RegKey;

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
    if (options.haveType && !AddableType(options.type, type)) {
        Fail("Invalid type " + options.type + ": use REG_SZ, REG_EXPAND_SZ, REG_DWORD, " +
             "REG_QWORD, REG_BINARY or REG_MULTI_SZ.");
    }
    // Checked before anything is written.
    const std::string bytes = EncodeData(type, options.haveData, options.data, options.separator);

    Key key;
    uint32_t rc = platform::RegCreateKeyExW(keyName.root, keyName.path.c_str(), 0, nullptr, 0,
                                            platform::kKeyAllAccess, nullptr, key.Out(), nullptr);
    if (rc != 0) {
        FailWithCode(rc);
    }
    Value existing;
    if (!options.force && ReadValue(key.Get(), options.name, existing) &&
        !Confirmed("Value " +
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
        if (!options.force &&
            !Confirmed("Permanently delete the registry key " + keyName.display)) {
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
    if (!options.force && !Confirmed(question)) {
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

const char kKeyHelp[] =
    "  KEY     HKLM\\PATH or HKCU\\PATH (also HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER)\n";

// The help of one operation ("QUERY", "ADD" or "DELETE"), or of all of them for "".
void Usage(std::ostream& out, const std::string& operation) {
    if (operation == "QUERY") {
        out << "vomo-reg query KEY [/v NAME | /ve] [/s]\n\n"
            << kKeyHelp
            << "  /v      the value NAME only\n"
               "  /ve     the unnamed (default) value only\n"
               "  /s      every key below KEY too\n"
               "\nPrints the key's full name, then a row per value: name, type, data.\n";
        return;
    }
    if (operation == "ADD") {
        out << "vomo-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n\n"
            << kKeyHelp
            << "  /v      the value NAME; /ve the unnamed (default) value; neither: KEY only, "
               "with\n"
               "          an empty unnamed value\n"
               "  /t      REG_SZ (default), REG_EXPAND_SZ, REG_DWORD, REG_QWORD, REG_BINARY,\n"
               "          REG_MULTI_SZ\n"
               "  /s      the REG_MULTI_SZ item separator (\"\\0\" when not given)\n"
               "  /d      the data: numbers decimal or 0x hexadecimal, binary as hexadecimal\n"
               "          digits\n"
               "  /f      no question before overwriting a value\n";
        return;
    }
    if (operation == "DELETE") {
        out << "vomo-reg delete KEY [/v NAME | /ve | /va] [/f]\n\n"
            << kKeyHelp
            << "  /v      the value NAME only; /ve the unnamed value only; /va every value of KEY\n"
               "          (its subkeys stay); none of them: KEY with everything below it\n"
               "  /f      no question before deleting\n";
        return;
    }
    out << "vomo-reg: reads and changes the registry hives, as reg.exe does.\n"
           "\n"
           "  vomo-reg query  KEY [/v NAME | /ve] [/s]\n"
           "  vomo-reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
           "  vomo-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
           "  vomo-reg OPERATION /?     the help of one operation\n"
           "  vomo-reg --version\n"
           "\n"
        << kKeyHelp
        << "\n"
           "Hives: HKLM is $VOMO_REGISTRY_ROOT/machine.db and HKCU $VOMO_REGISTRY_ROOT/user.db\n"
           "when VOMO_REGISTRY_ROOT is set; otherwise /var/lib/vomo/registry/machine.db and\n"
           "${XDG_CONFIG_HOME:-$HOME/.config}/vomo/registry/user.db.\n"
           "The exit status is 0 on success, 1 on failure.\n";
}

// The operation named by `arg` in upper case, or empty for none.
std::string Operation(const std::string& arg) {
    for (const char* operation : {"QUERY", "ADD", "DELETE"}) {
        if (SameText(arg, operation)) {
            return operation;
        }
    }
    return std::string();
}

int Run(const std::vector<std::string>& args) {
    try {
        if (args.empty()) {
            Fail("Invalid syntax.\nType \"vomo-reg /?\" for usage.");
        }
        if (args.size() == 1 && args[0] == "--version") {
            std::cout << "vomo-reg " << VCM_VERSION_MAJOR << "." << VCM_VERSION_MINOR << "."
                      << VCM_VERSION_PATCH << "\n";
            return 0;
        }
        if (IsHelp(args[0])) {
            Usage(std::cout, "");
            return 0;
        }
        const std::string operation = Operation(args[0]);
        if (!operation.empty() && args.size() == 2 && IsHelp(args[1])) {
            Usage(std::cout, operation);
            return 0;
        }
        if (operation.empty()) {
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

}  // namespace
}  // namespace vomoreg

int main(int argc, char** argv) {
    return vomoreg::Run(std::vector<std::string>(argv + 1, argv + argc));
}
