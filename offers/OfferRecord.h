// OfferRecord: what an install session needs of an offer to download and run its installer,
// and the texts it shows while the offer is the only one still under way.
#pragma once

#include <string>

#include "api/Url.h"
#include "engine/ComponentRecord.h"
#include "offers/PluginRecord.h"

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

// The offer a plug-in makes: its id, package and arguments, the product's install directory
// `installDir`, and its progress texts in the language `languageCode` (the fallback language
// where a text lacks it; empty without a text).
OfferRecord MakeOfferRecord(const PluginRecord& plugin, const std::string& installDir,
                            const std::string& languageCode);
