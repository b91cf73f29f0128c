#include "engine/Version.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace {

// One "%d" conversion: white space, optional sign, at least one digit. Out-of-range values
// saturate at the 64-bit limits, as the run-time's strtol does where long has 64 bits, and are
// then narrowed to 32 bits, as the run-time's scan stores them. The limits are fixed rather than
// long's, so that a version reads the same on every platform (long has 32 bits on Windows).
bool ScanInt(const std::string& text, std::string::size_type& pos, uint32_t& out) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) {
        ++pos;
    }
    bool negative = false;
    std::string::size_type p = pos;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    if (p >= text.size() || !std::isdigit(static_cast<unsigned char>(text[p]))) {
        return false;
    }
    unsigned long long magnitude = 0;
    bool overflow = false;
    while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) {
        if (!overflow) {
            magnitude = magnitude * 10 + static_cast<unsigned>(text[p] - '0');
            if (magnitude > static_cast<unsigned long long>(INT64_MAX) + 1) {
                overflow = true;
            }
        }
        ++p;
    }
    long long value;
    if (negative) {
        value = (overflow || magnitude > static_cast<unsigned long long>(INT64_MAX))
                    ? INT64_MIN
                    : -static_cast<long long>(magnitude);
    } else {
        value = (overflow || magnitude > static_cast<unsigned long long>(INT64_MAX))
                    ? INT64_MAX
                    : static_cast<long long>(magnitude);
    }
    out = static_cast<uint32_t>(static_cast<unsigned long long>(value));
    pos = p;
    return true;
}

}  // namespace

bool Version::Parse(const std::string& text) {
    for (uint32_t& part : parts_) {
        part = 0;
    }
    valid_ = false;

    uint32_t scanned[4];
    std::string::size_type pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != '.') {
                return false;
            }
            ++pos;
        }
        if (!ScanInt(text, pos, scanned[i])) {
            return false;
        }
    }
    for (int i = 0; i < 4; ++i) {
        parts_[i] = scanned[i];
    }
    valid_ = true;
    return true;
}

std::string Version::ToString() const {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%u.%u.%u.%u", parts_[0], parts_[1], parts_[2], parts_[3]);
    return buffer;
}

int Version::Compare(const Version& other) const {
    for (int i = 0; i < 4; ++i) {
        if (parts_[i] != other.parts_[i]) {
            return parts_[i] < other.parts_[i] ? -1 : 1;
        }
    }
    return 0;
}
