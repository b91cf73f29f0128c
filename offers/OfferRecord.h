// OfferRecord: what an install session needs of an offer to download and run its installer.
#pragma once

#include <string>

#include "api/Url.h"
#include "engine/ComponentRecord.h"

struct OfferRecord {
    std::string id;
    PackageType packageType = kPackageNone;
    Url packageUrl;
    std::string commandLineArgs;
    std::string installDir;
};
