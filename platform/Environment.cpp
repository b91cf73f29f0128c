#include "platform/Environment.h"

#include <pwd.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

namespace {

// The effective user's home folder from the user database; empty when it has none.
std::string EffectiveUsersHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir || found->pw_dir[0] != '/') {
        return std::string();
    }
    return found->pw_dir;
}

}  // namespace

bool GetEnvironmentText(const std::string& name, std::string& value) {
    // secure_getenv answers null in a setuid or setcap process (AT_SECURE), whatever is set.
    const char* text = ::secure_getenv(name.c_str());
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
    if (::getauxval(AT_SECURE) != 0) {
        home = EffectiveUsersHome();
    } else if (!GetEnvironmentText("HOME", home)) {
        home.clear();
    }
    if (home.empty()) {
        return std::string();
    }
    return home + "/" + homeRelative;
}

bool IsSuperUser() {
    return ::geteuid() == 0;
}

}  // namespace platform
