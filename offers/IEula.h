// A licence text of the offer catalogue: a localized address of the licence and its version.
// Bundle groups name the licence texts the user accepts with an offer.
//
// Contract: the object is immutable once made, so its operations may be called from any thread.
// GetVersion hands out the version as the manifest gave it: 0.0.0.0 and not valid when it was
// absent or did not parse as four numbers. GetLocalizedUrl answers the address's text for a
// language code with the fallback language of the locale table (vmi::Locale); when neither is
// there, or the licence has no address, it answers 2 and leaves `url` untouched.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Version.h"

namespace vmi {

class IEula {
public:
    virtual uint32_t GetId(std::string& id) = 0;                                      // 0: 0
    virtual uint32_t GetVersion(Version& version) = 0;                                // 1: 0
    virtual uint32_t GetLocalizedUrl(const std::string& code, std::string& url) = 0;  // 2: 0 or 2
    virtual ~IEula() = default;                                                       // 3
};

}  // namespace vmi
