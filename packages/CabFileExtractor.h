// CabFileExtractor: the extractor of cabinet files ("MSCF").
#pragma once

#include <cstdint>

#include "packages/ICustomManifestExtractor.h"
#include "packages/SizeLimits.h"

// Source and destination are "file" Urls; their path parts are the file-system paths. Every
// member of the cabinet is written to the one destination, each replacing the one before; the
// destination takes the member's time stamp and read-only attribute. The destination must not
// exist yet: it is created exclusively, and removed again when the extraction fails, as it is
// when the members come to more than the output cap.
class CabFileExtractor : public ICustomManifestExtractor {
public:
    explicit CabFileExtractor(uint64_t outputLimit = kPackageMaxBytes)
        : outputLimit_(outputLimit) {}

    bool Extract(const Url& source, const Url& destination) override;
    // True exactly when the source's first four bytes are "MSCF".
    bool CanExtract(const Url& source) override;

private:
    const uint64_t outputLimit_;
};
