// Verification of the downloaded manifest cabinet and extraction of the manifest.
#include "engine/VomoInstallImpl.h"

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "packages/CabFileExtractor.h"
#include "packages/IInstallerTempDir.h"
#include "packages/ManifestExtractor.h"
#include "packages/SizeLimits.h"
#include "packages/VerifyTrust.h"
#include "platform/LastError.h"
#include "platform/Trust.h"

namespace {

const uint32_t kSuccess = 0;
const uint32_t kSignatureCheckFailed = 18;
const uint32_t kExtractionFailed = 19;

}  // namespace

uint32_t VomoInstallImpl::VerifyAndExtractManifest(const Url& cabinet, Url& extracted) {
    // Nothing from the download is read before its signature and signer are accepted.
    VerifyTrust verifier;
    if (verifier.Verify(cabinet.GetPath()) != 0) {
        const VerifyTrust::Finding& found = verifier.LastFinding();
        if (found.status != platform::kTrustOk) {
            eventLog_->WriteError("Manifest signature refused: %s (0x%08X): %s\n",
                                  platform::TrustStatusText(found.status), found.status,
                                  found.reason.c_str());
        } else {
            eventLog_->WriteError("Manifest signed by \"%s\", which is not an accepted signer\n",
                                  found.signer.c_str());
        }
        return kSignatureCheckFailed;
    }
    eventLog_->WriteInfo("Manifest signature verified: signed by \"%s\"\n",
                         verifier.LastFinding().signer.c_str());
    const boost::shared_ptr<IInstallerTempDir> tempDir = GetInstallerTempDir();
    if (!tempDir || !tempDir->MakeUniquePath(extracted)) {
        eventLog_->WriteError("Manifest extraction failed: no temporary file: %s\n",
                              platform::GetLastErrorText().c_str());
        return kExtractionFailed;
    }
    ManifestExtractor extractor(boost::make_shared<CabFileExtractor>(kManifestMaxBytes));
    platform::ClearLastError();
    if (!extractor.Extract(cabinet, extracted)) {
        const std::string reason = platform::GetLastErrorText();
        eventLog_->WriteError("Manifest extraction failed: %s\n",
                              reason.empty() ? "the cabinet cannot be read" : reason.c_str());
        return kExtractionFailed;
    }
    eventLog_->WriteInfo("Manifest extracted\n");
    return kSuccess;
}
