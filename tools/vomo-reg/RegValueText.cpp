#include "tools/vomo-reg/RegValueText.h"

#include <cstdio>
#include <vector>

#include <utf8.h>

#include "platform/Registry.h"
#include "platform/RegistryNames.h"
#include "settings/SettingsText.h"
#include "tools/vomo-reg/RegFailure.h"

namespace vomoreg {

namespace {

struct TypeName {
    uint32_t type;
    const char* name;
};

const TypeName kTypeNames[] = {
    {platform::kRegNone, "REG_NONE"},
    {platform::kRegSz, "REG_SZ"},
    {platform::kRegExpandSz, "REG_EXPAND_SZ"},
    {platform::kRegBinary, "REG_BINARY"},
    {platform::kRegDword, "REG_DWORD"},
    {5, "REG_DWORD_BIG_ENDIAN"},
    {6, "REG_LINK"},
    {platform::kRegMultiSz, "REG_MULTI_SZ"},
    {8, "REG_RESOURCE_LIST"},
    {9, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {10, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {platform::kRegQword, "REG_QWORD"},
};

const uint32_t kAddableTypes[] = {platform::kRegSz,     platform::kRegExpandSz,
                                  platform::kRegDword,  platform::kRegQword,
                                  platform::kRegBinary, platform::kRegMultiSz};

std::u16string Units(const std::string& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return units;
}

std::string UnitsToBytes(const std::u16string& units) {
    std::string bytes;
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

uint64_t LittleEndian(const std::string& bytes) {
    uint64_t value = 0;
    for (size_t i = bytes.size(); i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

std::string LittleEndianBytes(uint64_t value, size_t size) {
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::string HexBytes(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

// Parses decimal digits, or "0x" and hexadecimal digits, up to `maximum`.
bool ParseNumber(const std::string& text, uint64_t maximum, uint64_t& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) {
        return false;
    }
    const uint64_t base = hex ? 16 : 10;
    value = 0;
    for (char c : digits) {
        uint64_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint64_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<uint64_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<uint64_t>(c - 'A' + 10);
        } else {
            return false;
        }
        if (value > (maximum - digit) / base) {
            return false;
        }
        value = value * base + digit;
    }
    return true;
}

std::string EncodeNumber(uint32_t type, bool haveData, const std::string& data) {
    const bool dword = type == platform::kRegDword;
    if (!dword && !haveData) {
        return LittleEndianBytes(0, 8);
    }
    uint64_t value = 0;
    bool parsed = false;
    if (!dword && data.size() > 1 && data[0] == '-' &&
        data.find_first_not_of("0123456789", 1) == std::string::npos) {
        // A negative decimal of the signed 64-bit range, as its two's complement.
        uint64_t magnitude = 0;
        parsed = ParseNumber(data.substr(1), uint64_t{1} << 63, magnitude);
        value = ~magnitude + 1;
    } else if (haveData) {
        parsed = ParseNumber(data, dword ? UINT32_MAX : UINT64_MAX, value);
    }
    if (!parsed) {
        Fail(dword ? "Invalid value for /d: REG_DWORD data is a decimal or 0x hexadecimal number "
                     "that fits in 32 bits."
                   : "Invalid value for /d: REG_QWORD data is a decimal or 0x hexadecimal number "
                     "that fits in 64 bits, or a negative decimal one.");
    }
    return LittleEndianBytes(value, dword ? 4 : 8);
}

std::string EncodeMultiString(const std::string& data, char16_t separator) {
    std::u16string text;
    if (!ToUtf16(data, text)) {
        Fail("The data is not valid UTF-8.");
    }
    if (text.empty()) {
        return UnitsToBytes(std::u16string(1, u'\0'));
    }
    const std::u16string mark = separator ? std::u16string(1, separator) : std::u16string(u"\\0");
    if (text.size() >= mark.size() &&
        text.compare(text.size() - mark.size(), mark.size(), mark) == 0) {
        text.erase(text.size() - mark.size());
    }
    std::vector<std::u16string> items;
    for (std::u16string::size_type start = 0;;) {
        const std::u16string::size_type end = text.find(mark, start);
        items.push_back(text.substr(start, end == std::u16string::npos ? end : end - start));
        if (end == std::u16string::npos) {
            break;
        }
        start = end + mark.size();
    }
    std::u16string units;
    for (const std::u16string& item : items) {
        if (item.empty() && items.size() > 1) {
            Fail("Invalid value for /d: REG_MULTI_SZ items cannot be empty.");
        }
        units += item + u'\0';
    }
    units += u'\0';
    return UnitsToBytes(units);
}

}  // namespace

bool ToUtf16(const std::string& text, std::u16string& out) {
    return vmds::Utf8ToUtf16(text, out);
}

std::string ToUtf8(const std::u16string& text) {
    return utf8::replace_invalid(platform::regnames::ToStored(text));
}

bool SameText(const std::string& text, const char* name) {
    std::u16string a;
    std::u16string b;
    return ToUtf16(text, a) && ToUtf16(name, b) &&
           platform::regnames::Fold(a) == platform::regnames::Fold(b);
}

std::string TypeText(uint32_t type) {
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type) {
            return entry.name;
        }
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", type);
    return buffer;
}

bool AddableType(const std::string& name, uint32_t& type) {
    for (uint32_t each : kAddableTypes) {
        if (SameText(name, TypeText(each).c_str())) {
            type = each;
            return true;
        }
    }
    return false;
}

std::string DataText(uint32_t type, const std::string& bytes) {
    char buffer[32];
    switch (type) {
        case platform::kRegSz:
        case platform::kRegExpandSz: {
            std::u16string text = Units(bytes);
            const std::u16string::size_type end = text.find(u'\0');
            if (end != std::u16string::npos) {
                text.erase(end);
            }
            return ToUtf8(text);
        }
        case platform::kRegDword:
        case platform::kRegQword:
            if (bytes.size() == (type == platform::kRegDword ? 4u : 8u)) {
                std::snprintf(buffer, sizeof buffer, "0x%llx",
                              static_cast<unsigned long long>(LittleEndian(bytes)));
                return buffer;
            }
            return HexBytes(bytes);
        case platform::kRegMultiSz: {
            std::u16string units = Units(bytes);
            // The list ends with an empty item: drop the terminators.
            for (int i = 0; i < 2 && !units.empty() && units.back() == u'\0'; ++i) {
                units.pop_back();
            }
            std::string text;
            std::u16string::size_type start = 0;
            for (;;) {
                const std::u16string::size_type end = units.find(u'\0', start);
                text += ToUtf8(units.substr(
                    start, end == std::u16string::npos ? std::u16string::npos : end - start));
                if (end == std::u16string::npos) {
                    return text;
                }
                text += "\\0";
                start = end + 1;
            }
        }
        default:
            return HexBytes(bytes);
    }
}

std::string EncodeData(uint32_t type, bool haveData, const std::string& data, char16_t separator) {
    switch (type) {
        case platform::kRegSz:
        case platform::kRegExpandSz: {
            std::u16string text;
            if (!ToUtf16(data, text)) {
                Fail("The data is not valid UTF-8.");
            }
            return UnitsToBytes(text + u'\0');
        }
        case platform::kRegDword:
        case platform::kRegQword:
            return EncodeNumber(type, haveData, data);
        case platform::kRegBinary: {
            std::string bytes;
            // An odd count of digits starts with a byte of one digit.
            const std::string digits = (data.size() % 2 ? "0" : "") + data;
            for (size_t i = 0; i < digits.size(); i += 2) {
                uint64_t byte = 0;
                if (!ParseNumber("0x" + digits.substr(i, 2), 0xFF, byte)) {
                    Fail("Invalid value for /d: REG_BINARY data is hexadecimal digits.");
                }
                bytes += static_cast<char>(byte);
            }
            return bytes;
        }
        case platform::kRegMultiSz:
            return EncodeMultiString(data, separator);
        default:
            Fail("Unsupported type.");
    }
}

}  // namespace vomoreg
