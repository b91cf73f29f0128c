#include "packages/ManifestExtractor.h"

#include <boost/make_shared.hpp>

#include "packages/CabFileExtractor.h"

bool ManifestExtractor::Extract(const Url& source, const Url& destination) {
    boost::shared_ptr<ICustomManifestExtractor> extractor = custom_;
    if (!extractor) {
        extractor = boost::make_shared<CabFileExtractor>();
    }
    if (!extractor->CanExtract(source)) {
        return false;
    }
    return extractor->Extract(source, destination);
}
