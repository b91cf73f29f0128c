#include "packages/VerifyTrust.h"

#include "platform/Trust.h"

namespace {

// The makers whose signatures are accepted, compared byte for byte.
const char* const kAcceptedSigners[] = {"Vomo, LLC", "Vomo, Inc."};

bool IsAcceptedSigner(const std::string& name) {
    for (const char* accepted : kAcceptedSigners) {
        if (name == accepted) {
            return true;
        }
    }
    return false;
}

}  // namespace

uint32_t VerifyTrust::Verify(const std::string& path) {
    // The platform's verdict on the signature, its digest and its chain comes first; the
    // signer's name is looked at only in a file that passed it.
    if (platform::VerifyFileTrust(path) != platform::kTrustOk) {
        return 6;
    }
    platform::EmbeddedSignature signature;
    if (!signature.Open(path)) {
        return 3;
    }
    if (!signature.HasSignerInfo(0) || !signature.HasSignerCertificate()) {
        return 1;
    }
    const std::string name = signature.SignerDisplayName();
    return !name.empty() && IsAcceptedSigner(name) ? 0 : 2;
}
