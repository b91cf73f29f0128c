// Conversions between the UTF-8 texts of the program and the UTF-16 texts the system's calls
// take (utfcpp's checked conversions). Pure text functions; any thread.
#pragma once

#include <string>

namespace platform {

// False (and `out` untouched) when `text` is not well-formed.
bool Utf8ToUtf16(const std::string& text, std::u16string& out);
bool Utf16ToUtf8(const std::u16string& text, std::string& out);

}  // namespace platform
