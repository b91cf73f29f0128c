#pragma once

#include <string>
#include <vector>

namespace vmp {

// A value of a ping path: a named token ("%name%") or, with an empty name, a positional one.
struct NameValue {
    std::string name;
    std::string value;
};

typedef std::vector<NameValue> NameValueList;

}  // namespace vmp
