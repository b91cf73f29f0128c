#pragma once

#include "packages/IManifestExtractor.h"

// An extractor for one container format.
class ICustomManifestExtractor : public IManifestExtractor {
public:
    virtual bool CanExtract(const Url& source) = 0;
};
