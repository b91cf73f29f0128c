#pragma once

#include <string>

#include "ping/NameValue.h"

namespace vmp {

// Builds ping URLs from texts: owns a base URL and expands delimited tokens.
class IPingHandler {
public:
    virtual bool BuildUrl(const std::string& path, const std::string& defaultBaseUrl,
                          std::string& url) = 0;
    virtual bool ExpandTokens(const std::string& delimiter, std::string& text) = 0;
    virtual bool LookupToken(NameValue& pair) = 0;
    virtual ~IPingHandler() = default;
};

}  // namespace vmp
