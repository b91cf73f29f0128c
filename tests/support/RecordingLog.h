// An event log that keeps every call: the format it was given (`formats`, in call order); in
// `entries`, the operation with the line as printf formats it ("%S" takes wide text, as the
// engine passes ids and paths to it); and the wide-text argument of each failure line whose
// first argument is one.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "engine/IEventLog.h"

namespace testsupport {

class RecordingLog : public vmi::IEventLog {
public:
    enum Operation { kWrite, kDebug, kInfo, kWarning, kError };
    struct Entry {
        Operation operation;
        std::string text;
    };

    std::vector<std::string> formats;
    std::vector<Entry> entries;
    std::vector<std::wstring> arguments;

    void Write(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        Record(kWrite, format, args);
        va_end(args);
    }
    void WriteDebug(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        Record(kDebug, format, args);
        va_end(args);
    }
    void WriteInfo(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        Record(kInfo, format, args);
        va_end(args);
    }
    void WriteWarning(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        Record(kWarning, format, args);
        va_end(args);
    }
    void WriteError(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        Record(kError, format, args);
        va_end(args);
        const char* conversion = std::strchr(format, '%');
        if (conversion && conversion[1] == 'S') {
            va_start(args, format);
            arguments.push_back(va_arg(args, const wchar_t*));
            va_end(args);
        }
    }

private:
    void Record(Operation operation, const char* format, va_list args) {
        formats.push_back(format);
        char text[4096];
        const int length = std::vsnprintf(text, sizeof text, format, args);
        entries.push_back(Entry{operation, length < 0 ? std::string() : std::string(text)});
    }
};

}  // namespace testsupport
