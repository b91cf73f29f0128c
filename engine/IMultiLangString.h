// A text kept in several languages, keyed by language code ("en-us"), answering lookups with
// the fallback language of the locale table.
#pragma once

#include <cstdint>
#include <string>

namespace vmi {

class IMultiLangString {
public:
    // 0 with the text stored for exactly `code`; 2 when there is none.
    virtual uint32_t GetText(const std::string& code, std::string& text) const = 0;
    // The text for `code`, else the fallback language's non-empty text: 0 when found, else 2.
    virtual uint32_t GetLocalizedText(const std::string& code, std::string& text) const = 0;
    // Number of stored texts.
    virtual uint32_t GetCount() const = 0;
    virtual ~IMultiLangString() = default;
};

}  // namespace vmi
