// An event log that keeps every format it is given, and the wide-text argument of each failure
// line (the engine passes ids and paths to "%S" as wide text).
#pragma once

#include <cstdarg>
#include <cwchar>
#include <string>
#include <vector>

#include "engine/IEventLog.h"

namespace testsupport {

class RecordingLog : public vmi::IEventLog {
public:
    std::vector<std::string> formats;
    std::vector<std::wstring> arguments;

    void Write(const char* format, ...) override { formats.push_back(format); }
    void WriteDebug(const char* format, ...) override { formats.push_back(format); }
    void WriteInfo(const char* format, ...) override { formats.push_back(format); }
    void WriteWarning(const char* format, ...) override { formats.push_back(format); }
    void WriteError(const char* format, ...) override {
        formats.push_back(format);
        va_list args;
        va_start(args, format);
        arguments.push_back(va_arg(args, const wchar_t*));
        va_end(args);
    }
};

}  // namespace testsupport
