// Authenticode verification of files that carry an embedded signature: signed cabinets
// ("MSCF") and PE images.
//
// The trust check (VerifyFileTrust) establishes, in this order: the file holds an embedded
// PKCS #7 signature of Authenticode's indirect-data type; the digest recomputed over the file
// equals the one the signature carries; the PKCS #7 signature verifies (the message digest of
// the signed content and the signature over the authenticated attributes); the signer's
// certificate chains to a trusted root and is valid now, or at the time of a time-stamp that
// counts when the signature carries one (an RFC 3161 time-stamp token, or a legacy Authenticode
// countersignature); the chain allows code signing. There are no revocation checks.
//
// Usages, as Windows checks them along a chain: every certificate of the chain that has an
// extended key usage extension must list the usage (an issuer restricted to other usages cannot
// issue for this one); a leaf with a key usage extension must allow digital signatures. A
// signer's leaf without an extended key usage extension may sign code.
//
// A time-stamp counts only when it covers the signer's signature value, its own signature
// verifies, and its signer's certificate carries the time-stamping extended key usage and
// chains, with the usages above, to a trusted root at the time it states. Any other time-stamp
// is ignored and the file is judged at the current time.
//
// Trusted roots are the system's CA bundle plus the PEM file named by VOMO_TRUST_ROOTS when set.
// They are loaded once and shared by every check of the process; a check that finds the
// variable or one of those files changed since loads them again first (TrustRoots.h).
//
// On Windows the check is the system's own: WinVerifyTrust with the generic verification
// action, no user interface and no revocation checks, judges the file by the system's policy
// and roots (VOMO_TRUST_ROOTS has no meaning there), and its answer is passed through; the
// signer's name is then read from the signature (CryptQueryObject, CryptMsgGetParam,
// CertFindCertificateInStore, CertGetNameStringW). The file is held open, shared for reading
// only, from the check until its name is read, so that it can be neither rewritten nor replaced
// in between. The layout choices below are those of the POSIX backend's own reader.
//
// The file is opened once and read through that one descriptor: its digest, its signature and
// the signer name reported come from the same file, whatever happens to the path meanwhile. (A
// file rewritten in place while it is read is a matter for whoever may write it: keep files to
// check where only this process can write.)
//
// Choices where Windows is silent or differs:
// - Stricter than Windows on layout: a signature must be the last thing in the file; the bytes
//   after the DER signature up to the end of its slot must be zero (Windows does the same for
//   PE files only when its padding check is on); a PE certificate table holds exactly one
//   record, whose length covers the DER signature and is followed by at most its padding to a
//   multiple of 8; spanned cabinets and cabinets with reserve sizes other than those signing
//   writes are refused; one signer exactly.
// - Accepted digest algorithms for the file's digest and the signer's digest: SHA-256, SHA-384,
//   SHA-512. SHA-1 is refused there (collisions are practical); a time-stamp may still use it,
//   since what it digests is a signature value, which nobody can shape to meet a collision.
// - The "any" extended key usage does not stand for code signing or time-stamping.
// - Signatures larger than kMaxSignatureBytes are refused before anything is allocated for
//   them, whatever the file declares.
//
// Every function may run on several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/FileSeal.h"

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
    kTrustWrongUsage = 0x800B0110u,          // the chain does not allow code signing
    kTrustFileError = 0x80092003u,           // the file cannot be opened or read
};

// What a status of the trust check means, in words a publisher can act on ("the file does not
// match its signature (changed after signing)"); a general text for a status not listed above.
const char* TrustStatusText(uint32_t status);

// No embedded signature is read past this size.
const size_t kMaxSignatureBytes = 1024 * 1024;

// The trust check of the file at `path`; 0 when trusted. Then `signerName`, when given, holds
// the simple display name (see CertificateSimpleDisplayName) of the certificate of the
// signature's one signer, which the message carries; on failure it is empty. `seal`, when
// given, receives on success the seal (FileSeal.h) of the file that was checked, read through
// the same descriptor after the check (kTrustFileError when it cannot be); on failure it is
// left as it was.
uint32_t VerifyFileTrust(const std::string& path, std::string* signerName = nullptr,
                         FileSeal* seal = nullptr);
// The same for a file's bytes held in memory.
uint32_t VerifyBufferTrust(const void* data, size_t size, std::string* signerName = nullptr);

// The simple display name of a DER certificate, by Windows' rules: the first common name; else
// the first organizational unit; else the first organization; else an e-mail address of the
// subject (also inside a directory name of the subject alternative name); else the first
// RFC 822 name of the subject alternative name; else the first attribute of the subject; else
// empty (also when `der` is not a certificate). UTF-8, every byte kept, an embedded zero too.
std::string CertificateSimpleDisplayName(const std::string& der);

}  // namespace platform
