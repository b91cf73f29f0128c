#pragma once

#include "api/Url.h"

// Writes the manifest held in a source container file to a destination file.
class IManifestExtractor {
public:
    virtual ~IManifestExtractor() = default;
    virtual bool Extract(const Url& source, const Url& destination) = 0;
};
