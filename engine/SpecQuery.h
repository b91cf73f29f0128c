// What the component manager asks the engine for one added spec: role, name and version, as
// UTF-8 texts.
#pragma once

#include <string>

struct SpecQuery {
    std::string role;
    std::string name;
    std::string version;
};
