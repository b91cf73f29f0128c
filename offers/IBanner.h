// A banner of the offer catalogue: a localized address of something to show while the installer
// runs, and how many seconds to show it.
//
// Contract: the object is immutable once made, so its operations may be called from any thread.
// GetLocalizedUrl answers the address's text for a language code with the fallback language of
// the locale table (vmi::Locale); when neither is there, or the banner has no address, it
// answers 2 and leaves `url` untouched.
#pragma once

#include <cstdint>
#include <string>

namespace vmi {

class IBanner {
public:
    virtual uint32_t GetId(std::string& id) = 0;                                      // 0: 0
    virtual uint32_t GetLocalizedUrl(const std::string& code, std::string& url) = 0;  // 1: 0 or 2
    virtual uint32_t GetDisplayDuration(float& seconds) = 0;                          // 2: 0
    virtual ~IBanner() = default;                                                     // 3
};

}  // namespace vmi
