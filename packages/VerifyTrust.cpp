#include "packages/VerifyTrust.h"

#include "platform/LastError.h"
#include "platform/Trust.h"

namespace {

// The makers whose signatures are accepted, compared byte for byte.
const char* const kAcceptedSigners[] = {"Vomo, LLC", "Vomo, Inc."};

}  // namespace

bool VerifyTrust::IsAcceptedSigner(const std::string& name) {
    for (const char* accepted : kAcceptedSigners) {
        if (name == accepted) {
            return true;
        }
    }
    return false;
}

uint32_t VerifyTrust::Verify(const std::string& path) {
    // One read of the file gives the platform's verdict on the signature, its digest and its
    // chain, and the signer's name from those same bytes; the name counts only in a file that
    // passed. A trusted file's signature has been opened and names its one signer, whose
    // certificate it carries, so the results 1 and 3 do not arise here.
    finding_ = Finding();
    finding_.status = platform::VerifyFileTrust(path, &finding_.signer);
    if (finding_.status != platform::kTrustOk) {
        finding_.reason = platform::GetLastErrorText();
        return 6;
    }
    return !finding_.signer.empty() && IsAcceptedSigner(finding_.signer) ? 0 : 2;
}
