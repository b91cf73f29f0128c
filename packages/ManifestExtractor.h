// ManifestExtractor: writes the manifest held in a downloaded container file to a file of its
// own, through the extractor of the container's format.
#pragma once

#include <boost/shared_ptr.hpp>

#include "packages/ICustomManifestExtractor.h"
#include "packages/IManifestExtractor.h"

class ManifestExtractor : public IManifestExtractor {
public:
    // Without a custom extractor, each Extract uses a new CabFileExtractor.
    ManifestExtractor() = default;
    explicit ManifestExtractor(const boost::shared_ptr<ICustomManifestExtractor>& custom)
        : custom_(custom) {}

    // False when the extractor cannot read the source's format or the extraction fails.
    bool Extract(const Url& source, const Url& destination) override;

private:
    boost::shared_ptr<ICustomManifestExtractor> custom_;
};
