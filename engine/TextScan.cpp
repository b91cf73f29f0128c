#include "engine/TextScan.h"

#include <cerrno>
#include <cstdlib>

bool ScanUnsigned(const std::string& text, uint32_t& value) {
    const char* start = text.c_str();
    const char* p = start;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    if (*p == '+' || *p == '-') {
        ++p;
    }
    if (*p < '0' || *p > '9') {
        return false;
    }
    errno = 0;
    value = static_cast<uint32_t>(std::strtoul(start, nullptr, 10));
    return true;
}
