// A message of the offer catalogue: a localized text the installer shows, named by an id that
// components refer to with their messageRef.
//
// Contract: the object is immutable once made, so its operations may be called from any thread.
// GetLocalizedText answers the text for a language code with the fallback language of the locale
// table (vmi::Locale); when neither is there, or the message has no text, it answers 2 and
// leaves `text` untouched.
#pragma once

#include <cstdint>
#include <string>

namespace vmi {

class IMessage {
public:
    virtual uint32_t GetId(std::string& id) = 0;                                        // 0: 0
    virtual uint32_t GetLocalizedText(const std::string& code, std::string& text) = 0;  // 1: 0, 2
    virtual ~IMessage() = default;                                                      // 2
};

}  // namespace vmi
