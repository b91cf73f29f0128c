// Verification of the downloaded manifest cabinet and extraction of the manifest.
#include "engine/VomoInstallImpl.h"

#include <boost/shared_ptr.hpp>

#include "packages/IFileOperations.h"
#include "packages/IInstallerTempDir.h"
#include "packages/ManifestExtractor.h"
#include "packages/VerifyTrust.h"

namespace {

const uint32_t kSuccess = 0;
const uint32_t kSignatureCheckFailed = 18;
const uint32_t kExtractionFailed = 19;

}  // namespace

uint32_t VomoInstallImpl::VerifyAndExtractManifest() {
    // Nothing from the download is read before its signature and signer are accepted.
    VerifyTrust verifier;
    if (verifier.Verify(manifestPath_.GetPath()) != 0) {
        return kSignatureCheckFailed;
    }
    Url extracted;
    const boost::shared_ptr<IInstallerTempDir> tempDir = GetInstallerTempDir();
    if (!tempDir || !tempDir->MakeUniquePath(extracted)) {
        return kExtractionFailed;
    }
    ManifestExtractor extractor;
    if (!extractor.Extract(manifestPath_, extracted)) {
        return kExtractionFailed;
    }
    // The cabinet has served its purpose: only the extracted manifest is read from now on.
    const boost::shared_ptr<IFileOperations> files = CreateFileOperations();
    if (files) {
        files->RemoveAll(manifestPath_);
    }
    manifestPath_ = extracted;
    return kSuccess;
}
