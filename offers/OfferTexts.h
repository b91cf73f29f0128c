// Factories of the offer catalogue's small text objects: banners, messages and licence texts,
// each read from its own definition element of the manifest (queries evaluated with that
// element as the context node), and banners rebuilt from the placements the registry keeps.
#pragma once

#include <string>

#include <tinyxml.h>
#include <boost/shared_ptr.hpp>

#include "offers/IBanner.h"
#include "offers/IEula.h"
#include "offers/IMessage.h"

// The display duration of a banner without a "duration" element, in seconds.
const float kDefaultBannerSeconds = 3.5f;

// A `banner` element: id from its attribute "id", address from the multi-language "//url",
// duration from the text of "//duration" (kDefaultBannerSeconds when absent). The duration text
// is read the way C's strtod reads it in the "C" locale, whatever locale the host set: leading
// blanks, a sign, then the longest prefix that is a decimal number (fraction, exponent) or a
// hexadecimal one ("0x", fraction, binary exponent "p"), so "1e" reads 1 and "0x10" 16; a text
// that is not a number, a negative number, infinity, "nan" and one too large for a float give 0.
boost::shared_ptr<vmi::IBanner> CreateBanner(const TiXmlNode* node);

// A `message` element: id from its attribute "id", text from the multi-language "//text".
boost::shared_ptr<vmi::IMessage> CreateMessage(const TiXmlNode* node);

// A `eula` element: id from its attribute "id", version from the text of "//version" (a text
// that is not four numbers gives 0.0.0.0, not valid; no element leaves the version not valid),
// address from the multi-language "//url".
boost::shared_ptr<vmi::IEula> CreateEula(const TiXmlNode* node);

// A banner as the registry keeps it: the address is one text stored under `locale` (under the
// fallback code of the locale table when `locale` is empty, so that a lookup can find it).
boost::shared_ptr<vmi::IBanner> CreateStoredBanner(const std::string& id, const std::string& locale,
                                                   const std::string& url, float seconds);

// The duration text of a banner as a number of seconds (see CreateBanner).
float ParseBannerSeconds(const std::string& text);
