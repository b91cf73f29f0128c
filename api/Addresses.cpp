#include "api/Addresses.h"

#include "platform/Environment.h"

namespace vcm {

namespace {

std::string FromEnvironment(const char* name, const char* builtIn) {
    std::string value;
    if (platform::GetEnvironmentText(name, value) && !value.empty()) {
        return value;
    }
    return builtIn;
}

}  // namespace

std::string ManifestUrlText() {
    return FromEnvironment("VOMO_MANIFEST_URL", VCM_BUILTIN_MANIFEST_URL);
}

std::string InstallerBaseUrlText() {
    std::string url = FromEnvironment("VOMO_INSTALLER_URL", VCM_BUILTIN_INSTALLER_URL);
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}

}  // namespace vcm
