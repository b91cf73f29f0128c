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
    return Check(path, nullptr);
}

uint32_t VerifyTrust::VerifyAndSeal(const std::string& path, platform::FileSeal& seal) {
    return Check(path, &seal);
}

uint32_t VerifyTrust::Check(const std::string& path, platform::FileSeal* seal) {
    // One read of the file gives the platform's verdict on the signature, its digest and its
    // chain, and the signer's name from those same bytes; the name counts only in a file that
    // passed. A trusted file's signature has been opened and names its one signer, whose
    // certificate it carries, so the results 1 and 3 do not arise here. The seal is taken only
    // from an accepted file, so a refused one leaves it untouched.
    finding_ = Finding();
    platform::FileSeal sealed;
    finding_.status = platform::VerifyFileTrust(path, &finding_.signer, seal ? &sealed : nullptr);
    if (finding_.status != platform::kTrustOk) {
        finding_.reason = platform::GetLastErrorText();
        return 6;
    }
    if (finding_.signer.empty() || !IsAcceptedSigner(finding_.signer)) {
        platform::SetLastError(2,
                               "the signer \"" + finding_.signer + "\" is not an accepted signer");
        return 2;
    }
    if (seal) {
        *seal = sealed;
    }
    return 0;
}
