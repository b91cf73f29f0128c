// The engine's installation log. Every operation takes a printf-style format and its
// arguments; the engine and the sessions pass fixed English formats. A "%S" in a format takes a
// wide-character string (const wchar_t*), as the component ids of registry messages are passed.
#pragma once

namespace vmi {

class IEventLog {
public:
    virtual ~IEventLog() = default;
    virtual void Write(const char* format, ...) = 0;         // plain lines, headings, rules
    virtual void WriteDebug(const char* format, ...) = 0;    // not used by the sessions
    virtual void WriteInfo(const char* format, ...) = 0;     // per-component progress lines
    virtual void WriteWarning(const char* format, ...) = 0;  // not used by the sessions
    virtual void WriteError(const char* format, ...) = 0;    // failure lines
};

}  // namespace vmi
