#include "platform/WindowsSupport_win32.h"

#include "platform/LastError.h"
#include "platform/Utf16.h"

namespace platform {
namespace win32 {

bool Widen(const std::string& text, std::wstring& wide) {
    std::u16string units;
    if (text.find('\0') != std::string::npos || !Utf8ToUtf16(text, units)) {
        SetLastError(ERROR_INVALID_NAME, "not a UTF-8 text: " + text);
        return false;
    }
    wide.assign(units.begin(), units.end());
    return true;
}

bool WidePath(const std::string& path, std::wstring& wide) {
    if (!Widen(path, wide)) {
        return false;
    }
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return true;
}

std::string Narrow(const wchar_t* text, size_t length) {
    std::u16string units(text, text + length);
    // A name the system hands out may hold a lone surrogate; it is replaced rather than lost.
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            units[i] = 0xFFFD;
        }
    }
    std::string narrow;
    Utf16ToUtf8(units, narrow);
    return narrow;
}

std::string Narrow(const std::wstring& text) {
    return Narrow(text.data(), text.size());
}

std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer) {
        text = Narrow(buffer, length);
        while (!text.empty() &&
               (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
            text.pop_back();
        }
    }
    if (buffer) {
        ::LocalFree(buffer);
    }
    return text;
}

void RecordError(DWORD code, const std::string& context) {
    std::string text = SystemMessage(code);
    if (text.empty()) {
        text = "error " + std::to_string(code);
    }
    SetLastError(static_cast<uint32_t>(code), context.empty() ? text : context + ": " + text);
}

void RecordLastError(const std::string& context) {
    RecordError(::GetLastError(), context);
}

}  // namespace win32
}  // namespace platform
