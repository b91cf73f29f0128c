// OfferRecord: what an install session needs of an offer to download and run its installer,
// and the texts it shows while the offer is the only one still under way.
#pragma once

#include <string>

#include "api/Url.h"
#include "engine/ComponentRecord.h"

struct OfferRecord {
    std::string id;
    PackageType packageType = kPackageNone;
    Url packageUrl;
    std::string commandLineArgs;
    std::string packageSha256;  // the manifest's `package/sha256` text, empty when absent
    std::string installDir;
    std::string downloadText;  // shown while the offer downloads
    std::string installText;   // shown while the offer's installer runs
};
