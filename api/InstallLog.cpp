#include "api/InstallLog.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <iterator>
#include <vector>

#include <utf8.h>

#include "api/ControlCharacters.h"
#include "platform/Clock.h"
#include "platform/LogFile.h"

namespace vcm {

namespace {

// One conversion of a format (without its "%"): flags, width, precision, length, conversion.
bool IsConversion(char c) {
    return std::strchr("diouxXeEfFgGaAcsSpn%", c) != nullptr;
}

// printf of one conversion `spec` ("%...c") with the next argument of its type appended to
// `out`.
void FormatOne(const std::string& spec, va_list& args, std::string& out) {
    const char conversion = spec.back();
    const bool longLong = spec.find("ll") != std::string::npos;
    const bool isLong = !longLong && spec.find('l') != std::string::npos;
    const bool isSize = spec.find('z') != std::string::npos;
    std::vector<char> buffer(64);
    const auto print = [&](auto value, const std::string& used) {
        int n = std::snprintf(buffer.data(), buffer.size(), used.c_str(), value);
        if (n >= static_cast<int>(buffer.size())) {
            buffer.resize(static_cast<size_t>(n) + 1);
            n = std::snprintf(buffer.data(), buffer.size(), used.c_str(), value);
        }
        if (n > 0) {
            out.append(buffer.data(), static_cast<size_t>(n));
        }
    };
    // Widths and precisions given as "*" are not used by the system's formats; they are refused
    // rather than read from the wrong argument.
    if (spec.find('*') != std::string::npos) {
        out += spec;
        return;
    }
    switch (conversion) {
        case '%':
            out += '%';
            break;
        case 'd':
        case 'i':
            if (longLong) {
                print(va_arg(args, long long), spec);
            } else if (isLong) {
                print(va_arg(args, long), spec);
            } else if (isSize) {
                print(va_arg(args, ptrdiff_t), spec);
            } else {
                print(va_arg(args, int), spec);
            }
            break;
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            if (longLong) {
                print(va_arg(args, unsigned long long), spec);
            } else if (isLong) {
                print(va_arg(args, unsigned long), spec);
            } else if (isSize) {
                print(va_arg(args, size_t), spec);
            } else {
                print(va_arg(args, unsigned int), spec);
            }
            break;
        case 'c':
            print(va_arg(args, int), spec);
            break;
        case 'p':
            print(va_arg(args, void*), spec);
            break;
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            print(va_arg(args, double), spec);
            break;
        case 's':
        case 'S': {
            std::string narrow;
            if (conversion == 'S' || isLong) {
                const wchar_t* wide = va_arg(args, const wchar_t*);
                const std::wstring text = wide ? wide : L"(null)";
                try {
                    utf8::utf32to8(text.begin(), text.end(), std::back_inserter(narrow));
                } catch (const utf8::exception&) {
                    narrow = "?";
                }
            } else {
                const char* text = va_arg(args, const char*);
                narrow = text ? text : "(null)";
            }
            std::string used = spec;
            used.back() = 's';
            const std::string::size_type length = used.find('l');
            if (length != std::string::npos) {
                used.erase(length, 1);
            }
            print(narrow.c_str(), used);
            break;
        }
        default:  // 'n' writes through a pointer: never
            (void)va_arg(args, void*);
            break;
    }
}

std::string UtcStamp() {
    struct tm utc;
    char text[32] = "";
    if (platform::UtcTimeOf(platform::CurrentTime(), utc)) {
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    }
    return text;
}

}  // namespace

InstallLog::InstallLog(const std::string& path)
    : path_(path.empty() ? platform::InstallLogPath() : path) {}

std::string InstallLog::Format(const char* format, va_list args) {
    std::string out;
    if (!format) {
        return out;
    }
    va_list own;
    va_copy(own, args);
    for (const char* p = format; *p;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        const char* start = p++;
        while (*p && !IsConversion(*p)) {
            ++p;
        }
        if (!*p) {
            out.append(start);  // an unfinished conversion is printed as it stands
            break;
        }
        FormatOne(std::string(start, p + 1), own, out);
        ++p;
    }
    va_end(own);
    return out;
}

void InstallLog::Append(const char* kind, const char* format, va_list args) {
    // Texts from manifests, the registry, the environment and installers' output: a control
    // character would reach whoever reads the log on a terminal (vcm log, tail -f) as a command.
    const std::string text = EscapeControlCharacters(Format(format, args));
    const std::string prefix = UtcStamp() + " " + kind + " ";
    std::string lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            lines += prefix + text.substr(start, end - start) + "\n";
        }
        start = end + 1;
    }
    if (!lines.empty()) {
        platform::AppendToLog(path_, lines);
    }
}

#define VCM_LOG_OPERATION(name, kind)                \
    void InstallLog::name(const char* format, ...) { \
        va_list args;                                \
        va_start(args, format);                      \
        Append(kind, format, args);                  \
        va_end(args);                                \
    }

VCM_LOG_OPERATION(Write, "info ")
VCM_LOG_OPERATION(WriteDebug, "debug")
VCM_LOG_OPERATION(WriteInfo, "info ")
VCM_LOG_OPERATION(WriteWarning, "warn ")
VCM_LOG_OPERATION(WriteError, "error")

#undef VCM_LOG_OPERATION

}  // namespace vcm
