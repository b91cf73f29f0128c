// Verification of the downloaded manifest cabinet and extraction of the manifest.
#include "engine/VomoInstallImpl.h"

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "packages/CabFileExtractor.h"
#include "packages/IInstallerTempDir.h"
#include "packages/ManifestExtractor.h"
#include "packages/SizeLimits.h"
#include "packages/VerifyTrust.h"

namespace {

const uint32_t kSuccess = 0;
const uint32_t kSignatureCheckFailed = 18;
const uint32_t kExtractionFailed = 19;

}  // namespace

uint32_t VomoInstallImpl::VerifyAndExtractManifest(const Url& cabinet, Url& extracted) {
    // Nothing from the download is read before its signature and signer are accepted.
    VerifyTrust verifier;
    if (verifier.Verify(cabinet.GetPath()) != 0) {
        return kSignatureCheckFailed;
    }
    const boost::shared_ptr<IInstallerTempDir> tempDir = GetInstallerTempDir();
    if (!tempDir || !tempDir->MakeUniquePath(extracted)) {
        return kExtractionFailed;
    }
    ManifestExtractor extractor(boost::make_shared<CabFileExtractor>(kManifestMaxBytes));
    if (!extractor.Extract(cabinet, extracted)) {
        return kExtractionFailed;
    }
    return kSuccess;
}
