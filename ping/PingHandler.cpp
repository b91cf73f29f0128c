#include "ping/PingHandler.h"

PingHandler::PingHandler(const std::string& baseUrl) : baseUrl_(baseUrl) {}

bool PingHandler::BuildUrl(const std::string& path, const std::string& defaultBaseUrl,
                           std::string& url) {
    const std::string& base = baseUrl_.empty() ? defaultBaseUrl : baseUrl_;
    if (base.empty()) {
        return false;
    }
    url = base + "/" + path;
    return true;
}

bool PingHandler::ExpandTokens(const std::string& delimiter, std::string& text) {
    if (delimiter.empty()) {
        return true;  // nothing can delimit a token
    }
    size_t from = 0;
    for (;;) {
        const size_t open = text.find(delimiter, from);
        if (open == std::string::npos) {
            return true;
        }
        const size_t nameStart = open + delimiter.size();
        const size_t close = text.find(delimiter, nameStart);
        // Without a closing delimiter the name, and the part replaced, run to the end.
        const size_t nameEnd = close == std::string::npos ? text.size() : close;
        const size_t tokenEnd = close == std::string::npos ? text.size() : close + delimiter.size();
        vmp::NameValue pair;
        pair.name = text.substr(nameStart, nameEnd - nameStart);
        if (!LookupToken(pair)) {
            return false;
        }
        text.replace(open, tokenEnd - open, pair.value);
        // Go on after the value put in: a value that holds the delimiter itself is not read as
        // a token again, so expansion always ends.
        from = open + pair.value.size();
    }
}
