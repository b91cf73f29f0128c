#include "settings/SettingsText.h"

#include "platform/Utf16.h"

namespace vmds {

bool Utf8ToUtf16(const std::string& text, std::u16string& out) {
    return platform::Utf8ToUtf16(text, out);
}

bool Utf16ToUtf8(const std::u16string& text, std::string& out) {
    return platform::Utf16ToUtf8(text, out);
}

std::u16string ToUtf16OrEmpty(const std::string& text) {
    std::u16string converted;
    if (!Utf8ToUtf16(text, converted)) {
        converted.clear();
    }
    return converted;
}

}  // namespace vmds
