// Version: a four-part version number (major.minor.build.revision) with a `valid` flag telling
// whether its text parsed. Comparisons look at the four numbers only, unsigned, most
// significant first; `valid` is not part of the order.
#pragma once

#include <cstdint>
#include <string>

class Version {
public:
    Version() = default;  // 0.0.0.0, not valid
    explicit Version(const std::string& text) { Parse(text); }

    // Scans "%d.%d.%d.%d" the way the C run-time does (leading white space skipped before each
    // number, an optional sign, decimal digits). Only when all four numbers convert are they
    // stored and the version marked valid; otherwise it is 0.0.0.0 and not valid.
    bool Parse(const std::string& text);

    // The four numbers in decimal, unsigned, joined by ".".
    std::string ToString() const;

    bool IsValid() const { return valid_; }
    uint32_t Part(int index) const { return parts_[index]; }

    bool LessThan(const Version& other) const { return Compare(other) < 0; }
    bool GreaterThan(const Version& other) const { return Compare(other) > 0; }
    bool GreaterOrEqual(const Version& other) const { return Compare(other) >= 0; }
    bool Equal(const Version& other) const { return Compare(other) == 0; }
    bool NotEqual(const Version& other) const { return Compare(other) != 0; }

    bool operator<(const Version& other) const { return LessThan(other); }
    bool operator>(const Version& other) const { return GreaterThan(other); }
    bool operator>=(const Version& other) const { return GreaterOrEqual(other); }
    bool operator==(const Version& other) const { return Equal(other); }
    bool operator!=(const Version& other) const { return NotEqual(other); }

private:
    int Compare(const Version& other) const;

    uint32_t parts_[4] = {0, 0, 0, 0};
    bool valid_ = false;
};
