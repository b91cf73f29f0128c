#include "tools/vomo-dist/ManifestExpiry.h"

#include <cstring>

#include "engine/UtcTime.h"

namespace {

const int64_t kSecondsPerHour = 3600;
const int64_t kLongestSpanHours = 100 * 365 * 24;

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The position of the document element's "<", past the declaration, comments, processing
// instructions and the document type; npos when there is none.
std::string::size_type RootStart(const std::string& xml) {
    std::string::size_type pos = 0;
    while ((pos = xml.find('<', pos)) != std::string::npos) {
        if (xml.compare(pos, 4, "<!--") == 0) {
            pos = xml.find("-->", pos + 4);
        } else if (xml.compare(pos, 2, "<?") == 0) {
            pos = xml.find("?>", pos + 2);
        } else if (xml.compare(pos, 2, "<!") == 0) {
            // A document type, possibly with an internal subset in brackets.
            const std::string::size_type bracket = xml.find('[', pos);
            const std::string::size_type close = xml.find('>', pos);
            pos = bracket != std::string::npos && bracket < close ? xml.find("]>", bracket) : close;
        } else if (pos + 1 < xml.size() && IsNameChar(xml[pos + 1])) {
            return pos;
        } else {
            ++pos;
            continue;
        }
        if (pos == std::string::npos) {
            return pos;
        }
        ++pos;
    }
    return pos;
}

}  // namespace

bool ParseExpiresOption(const std::string& text, int64_t now, int64_t& expiry) {
    if (text.size() >= 2 && (text.back() == 'd' || text.back() == 'h')) {
        const std::string digits = text.substr(0, text.size() - 1);
        int64_t count = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9' || count > kLongestSpanHours) {
                return false;
            }
            count = count * 10 + (c - '0');
        }
        const int64_t hours = text.back() == 'd' ? count * 24 : count;
        if (hours == 0 || hours > kLongestSpanHours) {
            return false;
        }
        expiry = now + hours * kSecondsPerHour;
        return true;
    }
    return ParseUtcTime(text, expiry);
}

bool SetRootAttribute(const std::string& xml, const std::string& name, const std::string& value,
                      std::string& result) {
    const std::string::size_type start = RootStart(xml);
    if (start == std::string::npos) {
        return false;
    }
    std::string::size_type pos = start + 1;
    while (pos < xml.size() && IsNameChar(xml[pos])) {
        ++pos;
    }
    const std::string::size_type afterName = pos;
    // The attributes, until the end of the start tag.
    for (;;) {
        while (pos < xml.size() && IsBlank(xml[pos])) {
            ++pos;
        }
        if (pos >= xml.size() || xml[pos] == '>' || xml[pos] == '/') {
            break;
        }
        const std::string::size_type nameStart = pos;
        while (pos < xml.size() && IsNameChar(xml[pos])) {
            ++pos;
        }
        const std::string attribute = xml.substr(nameStart, pos - nameStart);
        while (pos < xml.size() && IsBlank(xml[pos])) {
            ++pos;
        }
        if (pos >= xml.size() || xml[pos] != '=' || attribute.empty()) {
            return false;
        }
        ++pos;
        while (pos < xml.size() && IsBlank(xml[pos])) {
            ++pos;
        }
        if (pos >= xml.size() || (xml[pos] != '"' && xml[pos] != '\'')) {
            return false;
        }
        const char quote = xml[pos];
        const std::string::size_type valueStart = pos + 1;
        const std::string::size_type valueEnd = xml.find(quote, valueStart);
        if (valueEnd == std::string::npos) {
            return false;
        }
        if (attribute == name) {
            result = xml.substr(0, valueStart) + value + xml.substr(valueEnd);
            return true;
        }
        pos = valueEnd + 1;
    }
    result = xml.substr(0, afterName) + " " + name + "=\"" + value + "\"" + xml.substr(afterName);
    return true;
}
