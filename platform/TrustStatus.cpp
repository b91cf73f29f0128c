#include "platform/Trust.h"

// The words for the trust check's statuses, which both backends share.

namespace platform {

const char* TrustStatusText(uint32_t status) {
    switch (status) {
        case kTrustOk:
            return "the signature is trusted";
        case kTrustSubjectFormUnknown:
            return "neither a cabinet nor a program that can be checked";
        case kTrustNoSignature:
            return "no embedded signature, or a malformed one";
        case kTrustBadDigest:
            return "the file does not match its signature (changed after signing)";
        case kTrustBadSignature:
            return "the signature does not verify";
        case kTrustExpired:
            return "a certificate is outside its validity period";
        case kTrustUntrustedRoot:
            return "the certificate chain ends in a root that is not trusted";
        case kTrustChaining:
            return "no certificate chain to a trusted root";
        case kTrustWrongUsage:
            return "the certificate may not sign code";
        case kTrustFileError:
            return "the file cannot be read";
        default:
            return "the signature is refused";
    }
}

}  // namespace platform
