// vomo-reg's command line: the key named after the operation and the switches after it, checked
// as reg.exe checks them. Throws a Failure (RegFailure.h) for what reg.exe refuses.
#pragma once

#include <string>
#include <vector>

#include "platform/Registry.h"

namespace vomoreg {

struct KeyName {
    platform::RegKey root = nullptr;
    std::string display;  // the full name as printed, root spelled out
    std::u16string path;  // below the root; empty for the root itself
};

// KEY: HKLM, HKCU, HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER (any case), optionally followed by
// "\" and a path. One "\" ending the path is dropped; a root followed by "\" alone ("HKCU\") and
// a path ending in two of them are refused, as reg.exe refuses them.
KeyName ParseKey(const std::string& text);

struct Options {
    bool haveName = false;   // /v or /ve
    std::u16string name;     // empty with /ve
    bool allValues = false;  // /va (delete)
    bool recurse = false;    // /s (query)
    bool force = false;      // /f (add, delete)
    bool haveType = false;   // /t (add)
    std::string type;
    bool haveData = false;  // /d (add)
    std::string data;
    char16_t separator = 0;  // /s (add): the REG_MULTI_SZ item separator; 0 for "\0"
};

// The switches after KEY for `operation` ("QUERY", "ADD" or "DELETE"): each at most once,
// starting with "/" or "-", in any case; /reg:32 or /reg:64 are taken and change nothing.
Options ParseOptions(const std::string& operation, const std::vector<std::string>& args);

// "/?", "-?", "/h", "-h" or "--help".
bool IsHelp(const std::string& arg);

}  // namespace vomoreg
