#include "ping/PingUrl.h"

#include <boost/regex.hpp>

bool IsValidPingUrl(const std::string& url) {
    // Compiled once; a const regex may be matched from several threads at a time.
    static const boost::regex expression("^https?:\\/\\/[^\\/]+\\/[^ ]*$", boost::regex::perl);
    return boost::regex_match(url, expression);
}
