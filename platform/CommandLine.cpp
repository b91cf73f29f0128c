#include "platform/CommandLine.h"

namespace platform {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char kRestOfText[] = "_?=";

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& text) {
    std::vector<std::string> arguments;
    size_t i = 0;
    const size_t n = text.size();
    while (true) {
        while (i < n && IsBlank(text[i])) {
            ++i;
        }
        if (i == n) {
            break;
        }
        if (text.compare(i, sizeof kRestOfText - 1, kRestOfText) == 0) {
            arguments.push_back(text.substr(i));
            break;
        }
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(text[i]))) {
            if (text[i] == '\\') {
                size_t backslashes = 0;
                while (i < n && text[i] == '\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < n && text[i] == '"') {
                    argument.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                } else {
                    argument.append(backslashes, '\\');
                }
            } else if (text[i] == '"') {
                if (quoted && i + 1 < n && text[i + 1] == '"') {
                    argument += '"';
                    quoted = false;
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += text[i++];
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::string EscapeForQuotes(const std::string& text) {
    std::string escaped;
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"') {
                escaped.append(backslashes + 1, '\\');
            }
            backslashes = 0;
        }
        escaped += c;
    }
    escaped.append(backslashes, '\\');  // the closing quote follows
    return escaped;
}

}  // namespace platform
