// Conversions between the UTF-8 texts of the program and the UTF-16 texts of the registry.
#pragma once

#include <string>

namespace vmds {

// False (and `out` untouched) when `text` is not well-formed.
bool Utf8ToUtf16(const std::string& text, std::u16string& out);
bool Utf16ToUtf8(const std::u16string& text, std::string& out);

// The conversion, or the empty text when `text` is not well-formed.
std::u16string ToUtf16OrEmpty(const std::string& text);

}  // namespace vmds
