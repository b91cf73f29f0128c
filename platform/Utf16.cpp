#include "platform/Utf16.h"

#include <utf8.h>

#include <iterator>

namespace platform {

bool Utf8ToUtf16(const std::string& text, std::u16string& out) {
    std::u16string converted;
    // One UTF-16 unit per input byte at most.
    converted.reserve(text.size() + 1);
    try {
        utf8::utf8to16(text.begin(), text.end(), std::back_inserter(converted));
    } catch (const utf8::exception&) {
        return false;
    }
    out.swap(converted);
    return true;
}

bool Utf16ToUtf8(const std::u16string& text, std::string& out) {
    std::string converted;
    converted.reserve(text.size() * 3);
    try {
        utf8::utf16to8(text.begin(), text.end(), std::back_inserter(converted));
    } catch (const utf8::exception&) {
        return false;
    }
    out.swap(converted);
    return true;
}

}  // namespace platform
