// The install log a person can read: every line the engine, the sessions and the launcher write
// is appended to the install log's file (platform/LogFile.h) with its UTC time and its kind:
//
//   2026-12-09T14:03:27Z info  Component: [a] http://example/a.cab
//   2026-12-09T14:03:29Z error Failed to download file
//
// A call's text may hold several lines; each gets the time and kind, and empty lines are left
// out. Control characters other than tab and newline are written escaped, as "\x1b"
// (ControlCharacters.h). Formats are printf's, and "%S" takes a wide-character string (const
// wchar_t*), printed as UTF-8 whatever the process's locale. A log that cannot be written loses
// the line and nothing else: writing never fails the work that logs.
//
// Every thread may call every operation; lines of concurrent calls never mix.
#pragma once

#include <cstdarg>
#include <string>

#include "engine/IEventLog.h"

namespace vcm {

class InstallLog : public vmi::IEventLog {
public:
    // Logs to `path`; with an empty path, to the install log's usual place.
    explicit InstallLog(const std::string& path = std::string());

    void Write(const char* format, ...) override;
    void WriteDebug(const char* format, ...) override;
    void WriteInfo(const char* format, ...) override;
    void WriteWarning(const char* format, ...) override;
    void WriteError(const char* format, ...) override;

    const std::string& Path() const { return path_; }

    // The text of a printf-style format and its arguments, "%S" taking a wide string.
    static std::string Format(const char* format, va_list args);

private:
    void Append(const char* kind, const char* format, va_list args);

    std::string path_;
};

}  // namespace vcm
