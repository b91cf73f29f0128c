// Registry values as vomo-reg shows and takes them: type names, the data column of `query`, and
// the bytes `add` stores for /t and /d. Plain functions of their arguments; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace vomoreg {

// UTF-8 to UTF-16; false for a text that is not well-formed.
bool ToUtf16(const std::string& text, std::u16string& out);

// UTF-16 to UTF-8 for printing; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const std::u16string& text);

// True when `text` is `name` in any case, compared as the registry compares names.
bool SameText(const std::string& text, const char* name);

// "REG_SZ" and the others; a type without a name as "0x" and its number in hexadecimal.
std::string TypeText(uint32_t type);

// The type `add /t` writes for `name` (any case): REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_QWORD,
// REG_BINARY or REG_MULTI_SZ. False for any other name.
bool AddableType(const std::string& name, uint32_t& type);

// The data column of `query`: strings up to their first NUL, REG_DWORD and REG_QWORD as "0x" and
// lower-case hexadecimal, REG_MULTI_SZ items joined by "\0", anything else (numbers of another
// size included) as upper-case hexadecimal digits.
std::string DataText(uint32_t type, const std::string& bytes);

// The bytes `add` stores for `type` and the /d text `data` (`haveData` false: no /d given).
// `separator` splits REG_MULTI_SZ items; 0 means the two characters "\0".
// - REG_SZ, REG_EXPAND_SZ: the UTF-16 text with its NUL; no /d is the empty text.
// - REG_DWORD: a decimal or "0x" hexadecimal number of 32 bits; /d is required and a negative
//   number refused, as reg.exe does.
// - REG_QWORD: a decimal or "0x" hexadecimal number of 64 bits, or a negative decimal stored as
//   its two's complement (-1 is all ones); no /d stores 0, as reg.exe does.
// - REG_BINARY: hexadecimal digits, an odd count starting with a byte of one digit; no /d is
//   no bytes.
// - REG_MULTI_SZ: the items, each with its NUL, and one more NUL. Empty data (or no /d) is the
//   empty list, stored as one NUL (2 bytes); one separator at the end is dropped ("a\0" is the
//   list "a"), so a separator alone is the list of one empty item (4 bytes). Any other empty
//   item (a leading or doubled separator) is refused.
// Throws a Failure (RegFailure.h) for data the type does not take.
std::string EncodeData(uint32_t type, bool haveData, const std::string& data, char16_t separator);

}  // namespace vomoreg
