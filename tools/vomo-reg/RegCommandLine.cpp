#include "tools/vomo-reg/RegCommandLine.h"

#include "tools/vomo-reg/RegFailure.h"
#include "tools/vomo-reg/RegValueText.h"

namespace vomoreg {

KeyName ParseKey(const std::string& text) {
    const std::string::size_type slash = text.find('\\');
    const std::string rootText = text.substr(0, slash);
    KeyName key;
    std::string longRoot;
    if (SameText(rootText, "HKLM") || SameText(rootText, "HKEY_LOCAL_MACHINE")) {
        key.root = platform::kHKeyLocalMachine;
        longRoot = "HKEY_LOCAL_MACHINE";
    } else if (SameText(rootText, "HKCU") || SameText(rootText, "HKEY_CURRENT_USER")) {
        key.root = platform::kHKeyCurrentUser;
        longRoot = "HKEY_CURRENT_USER";
    } else {
        Fail("Invalid key name.");
    }
    std::string path = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    if (slash != std::string::npos) {
        // "HKCU\" would name the hive's root, and "KEY\\" an empty key name: reg.exe refuses
        // both rather than guess.
        if (path.empty() || (path.size() >= 2 && path.compare(path.size() - 2, 2, "\\\\") == 0)) {
            Fail("Invalid key name.");
        }
        if (path.back() == '\\') {
            path.pop_back();
        }
    }
    if (!ToUtf16(path, key.path)) {
        Fail("Invalid key name.");
    }
    key.display = path.empty() ? longRoot : longRoot + "\\" + path;
    return key;
}

Options ParseOptions(const std::string& operation, const std::vector<std::string>& args) {
    Options options;
    bool sawVe = false;
    bool sawView = false;
    bool sawSeparator = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) {
            InvalidSyntax(operation);
        }
        const std::string name = arg.substr(1);
        auto next = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                InvalidSyntax(operation);
            }
            return args[++i];
        };
        // Marks a switch as seen; a second one is a syntax error.
        auto once = [&](bool& seen) {
            if (seen) {
                InvalidSyntax(operation);
            }
            seen = true;
        };
        if (SameText(name, "v")) {
            if (options.haveName) {
                InvalidSyntax(operation);
            }
            options.haveName = true;
            if (!ToUtf16(next(), options.name)) {
                Fail("The value name is not valid UTF-8.");
            }
        } else if (SameText(name, "ve")) {
            if (options.haveName) {
                InvalidSyntax(operation);
            }
            once(sawVe);
            options.haveName = true;
        } else if (SameText(name, "va") && operation == "DELETE") {
            once(options.allValues);
        } else if (SameText(name, "s") && operation == "QUERY") {
            once(options.recurse);
        } else if (SameText(name, "s") && operation == "ADD") {
            once(sawSeparator);
            std::u16string wide;
            if (!ToUtf16(next(), wide) || wide.size() != 1) {
                InvalidSyntax(operation);
            }
            options.separator = wide[0];
        } else if (SameText(name, "t") && operation == "ADD") {
            once(options.haveType);
            options.type = next();
        } else if (SameText(name, "d") && operation == "ADD") {
            once(options.haveData);
            options.data = next();
        } else if (SameText(name, "f") && operation != "QUERY") {
            once(options.force);
        } else if (SameText(name, "reg:32") || SameText(name, "reg:64")) {
            once(sawView);
        } else {
            InvalidSyntax(operation);
        }
    }
    if (options.allValues && options.haveName) {
        InvalidSyntax(operation);
    }
    return options;
}

bool IsHelp(const std::string& arg) {
    return arg == "/?" || arg == "-?" || SameText(arg, "/h") || SameText(arg, "-h") ||
           arg == "--help";
}

}  // namespace vomoreg
