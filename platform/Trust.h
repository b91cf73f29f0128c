// Authenticode verification of files that carry an embedded signature: signed cabinets
// ("MSCF") and PE images.
//
// The trust check (VerifyFileTrust) establishes, in this order: the file holds an embedded
// PKCS #7 signature of Authenticode's indirect-data type; the digest recomputed over the file
// equals the one the signature carries; the PKCS #7 signature verifies (the message digest of
// the signed content and the signature over the authenticated attributes); the signer's
// certificate chains to a trusted root and is valid now, or at the time of a verified timestamp
// when the signature carries one (an RFC 3161 time-stamp token, or a legacy Authenticode
// countersignature); a signer certificate with an extended key usage extension allows code
// signing. There are no revocation checks.
//
// Trusted roots are the system's CA bundle plus the PEM file named by VOMO_TRUST_ROOTS when set.
//
// Choices where Windows is silent or differs:
// - Stricter than Windows on layout: a signature must be the last thing in the file; the bytes
//   after the DER signature up to the end of its slot must be zero (Windows does the same for
//   PE files only when its padding check is on); spanned cabinets and cabinets with reserve
//   sizes other than those signing writes are refused; one signer exactly.
// - Accepted digest algorithms: SHA-1, SHA-256, SHA-384, SHA-512.
// - A timestamp authority's chain is checked at the time of its timestamp, like the signer's; a
//   timestamp that does not verify is ignored, and the file is judged at the current time.
// - Signatures larger than kMaxSignatureBytes are refused before anything is allocated for
//   them, whatever the file declares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Answers of the trust check: 0, or the status Windows' trust verification gives for the same
// kind of failure, so that a second backend can pass its own answers through unchanged. The
// calling thread's last error (LastError.h) holds the status and a readable reason.
enum TrustStatus : uint32_t {
    kTrustOk = 0,
    kTrustSubjectFormUnknown = 0x800B0003u,  // neither a cabinet nor a PE image
    kTrustNoSignature = 0x800B0100u,         // no embedded signature, or a malformed one
    kTrustBadDigest = 0x80096010u,           // the file does not match its signature
    kTrustBadSignature = 0x80096004u,        // the PKCS #7 signature does not verify
    kTrustExpired = 0x800B0101u,             // a certificate is outside its validity period
    kTrustUntrustedRoot = 0x800B0109u,       // the chain ends in a root that is not trusted
    kTrustChaining = 0x800B010Au,            // no chain to any root
    kTrustWrongUsage = 0x800B0110u,          // the signer may not sign code
    kTrustFileError = 0x80092003u,           // the file cannot be opened or read
};

// No embedded signature is read past this size.
const size_t kMaxSignatureBytes = 1024 * 1024;

// The trust check of the file at `path`; 0 when trusted.
uint32_t VerifyFileTrust(const std::string& path);
// The same for a file's bytes held in memory.
uint32_t VerifyBufferTrust(const void* data, size_t size);

// The embedded signature of a file, opened for reading without any check, and its signer.
class EmbeddedSignature {
public:
    EmbeddedSignature();
    ~EmbeddedSignature();
    EmbeddedSignature(const EmbeddedSignature&) = delete;
    EmbeddedSignature& operator=(const EmbeddedSignature&) = delete;

    // False when the file holds no embedded PKCS #7 signed message that can be decoded.
    bool Open(const std::string& path);
    bool OpenBuffer(const void* data, size_t size);

    // True when the message has the signer information of signer `index` (issuer and serial).
    bool HasSignerInfo(size_t index) const;
    // True when the message's own certificates hold the certificate of signer 0, matched by
    // issuer and serial number.
    bool HasSignerCertificate() const;
    // The simple display name of signer 0's certificate (see CertificateSimpleDisplayName);
    // empty without one.
    std::string SignerDisplayName() const;

    struct Message;  // the decoded message; opaque

private:
    std::unique_ptr<Message> message_;
};

// The simple display name of a DER certificate, by Windows' rules: the first common name; else
// the first organizational unit; else the first organization; else an e-mail address of the
// subject (also inside a directory name of the subject alternative name); else the first
// RFC 822 name of the subject alternative name; else the first attribute of the subject; else
// empty (also when `der` is not a certificate). UTF-8, every byte kept, an embedded zero too.
std::string CertificateSimpleDisplayName(const std::string& der);

}  // namespace platform
