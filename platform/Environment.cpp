#include "platform/Environment.h"

#include <unistd.h>

#include <cstdlib>

namespace platform {

bool GetEnvironmentText(const std::string& name, std::string& value) {
    const char* text = std::getenv(name.c_str());
    if (!text) {
        return false;
    }
    value = text;
    return true;
}

std::string UserBaseDirectory(const std::string& variable, const std::string& homeRelative) {
    std::string base;
    if (GetEnvironmentText(variable, base) && !base.empty() && base[0] == '/') {
        return base;
    }
    std::string home;
    if (!GetEnvironmentText("HOME", home) || home.empty()) {
        return std::string();
    }
    return home + "/" + homeRelative;
}

bool IsSuperUser() {
    return ::geteuid() == 0;
}

}  // namespace platform
