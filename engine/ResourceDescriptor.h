// A resource descriptor of the manifest: an id with three texts.
#pragma once

#include <string>

struct ResourceDescriptor {
    std::string id;
    std::string tag;
    std::string resid;
    std::string type;
};
