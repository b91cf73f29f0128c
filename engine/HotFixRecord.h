// One hot fix that applies to an installed component.
#pragma once

#include <string>

#include "engine/ComponentRecord.h"

struct HotFixRecord {
    std::string id;
    std::string componentId;
    std::string version;  // as written in the manifest
    PackageType packageType = kPackageNone;
    std::string commandLineArgs;
    std::string url;
    std::string packageSha256;  // text of `package/sha256`, empty when absent
};
