// A ping handler with a base URL of its own: builds "base/path" URLs and expands delimited
// tokens of a ping text through LookupToken, which concrete handlers supply.
#pragma once

#include <string>

#include "ping/IPingHandler.h"

class PingHandler : public vmp::IPingHandler {
public:
    explicit PingHandler(const std::string& baseUrl);
    ~PingHandler() override = default;

    // url = (own base URL, else `defaultBaseUrl`) + "/" + path; false when both are empty.
    bool BuildUrl(const std::string& path, const std::string& defaultBaseUrl,
                  std::string& url) override;
    // Replaces each "<delimiter>name<delimiter>" by the value LookupToken gives for the name,
    // left to right; a value put in is not expanded again. False as soon as a lookup fails (the
    // text keeps the replacements made so far).
    bool ExpandTokens(const std::string& delimiter, std::string& text) override;

    const std::string& GetBaseUrl() const { return baseUrl_; }

private:
    std::string baseUrl_;
};
