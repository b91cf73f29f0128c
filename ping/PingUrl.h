// The check every ping URL passes before it is queued.
#pragma once

#include <string>

// True when the whole URL is "http" or "https", "://", a host part of at least one character
// without "/", a "/", then any characters but the space.
bool IsValidPingUrl(const std::string& url);
