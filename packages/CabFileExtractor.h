// CabFileExtractor: the extractor of cabinet files ("MSCF").
#pragma once

#include "packages/ICustomManifestExtractor.h"

// Source and destination are "file" Urls; their path parts are the file-system paths. Every
// member of the cabinet is written to the one destination, each replacing the one before; the
// destination takes the member's time stamp and read-only attribute. The destination must not
// exist yet: it is created exclusively, and removed again when the extraction fails.
class CabFileExtractor : public ICustomManifestExtractor {
public:
    bool Extract(const Url& source, const Url& destination) override;
    // True exactly when the source's first four bytes are "MSCF".
    bool CanExtract(const Url& source) override;
};
