// An event log that keeps every call: the format it was given (`formats`, in call order); in
// `entries`, the operation with the line as printf formats it ("%S" takes wide text, as the
// engine passes ids and paths to it); and the wide-text argument of each failure line whose
// first argument is one. Calls may come from several threads (a session's worker and its
// offers); read the vectors once those have ended.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <mutex>
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

    // How many lines were recorded so far; may be asked while calls still come.
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries.size();
    }

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
            const wchar_t* argument = va_arg(args, const wchar_t*);
            va_end(args);
            std::lock_guard<std::mutex> lock(mutex_);
            arguments.push_back(argument);
        }
    }

private:
    void Record(Operation operation, const char* format, va_list args) {
        char text[4096];
        const int length = std::vsnprintf(text, sizeof text, format, args);
        std::lock_guard<std::mutex> lock(mutex_);
        formats.push_back(format);
        entries.push_back(Entry{operation, length < 0 ? std::string() : std::string(text)});
    }

    std::mutex mutex_;
};

}  // namespace testsupport
