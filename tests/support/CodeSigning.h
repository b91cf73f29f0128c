// Signed test files made with the real tools: a throwaway certificate authority and code-signing
// certificates (openssl), cabinets (gcab), Authenticode signatures (osslsigncode), and minimal
// PE images built here. Keys and certificates are slow to make, so they are made once, on first
// use, into a directory beside the test programs that every later test process reuses (CTest
// runs each test in a process of its own).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/TempDir.h"

namespace testsupport {

// Signing identities. Every one but kUntrusted, kUntrustedRoot and kRootNoKeyUsage is issued
// under the trusted root through an intermediate that the signature carries, "Throwaway Code
// Signing CA", whose extended key usage is code signing (or "Throwaway Server CA" for
// kServerIssuer).
enum class Signer {
    kVomoLlc,             // "Vomo, LLC" (EC key)
    kVomoInc,             // "Vomo, Inc." (RSA key)
    kOtherMaker,          // "Other Maker, Ltd."
    kLowerCase,           // "vomo, llc"
    kTrailingBlank,       // "Vomo, LLC "
    kExpired,             // "Vomo, LLC", valid only in 2020
    kUntrusted,           // "Vomo, LLC" under a root nobody trusts, which the signature lacks
    kUntrustedRoot,       // the same, with that root in the signature
    kServerAuth,          // "Vomo, LLC" whose extended key usage is server authentication only
    kNoKeyUsage,          // "Vomo, LLC" without an extended key usage extension
    kOrganization,        // no common name, organization "Vomo, LLC"
    kServerIssuer,        // "Vomo, LLC" under an intermediate whose usage is server authentication
    kNoDigitalSignature,  // "Vomo, LLC" whose key usage is key encipherment only
    kRootNoKeyUsage,      // "Vomo, LLC" without extended key usage, issued by the root itself
};

class CodeSigning {
public:
    // The one instance of the test program; aborts the program when the tools fail.
    static const CodeSigning& Instance();

    // PEM file of the trusted root: what tests give VOMO_TRUST_ROOTS and osslsigncode.
    std::string TrustedRoots() const { return File("roots.pem"); }
    // The timestamp authority's certificate and key (PEM), issued under the trusted root with
    // a critical time-stamping usage and valid from 2019 to 2039.
    std::string TsaCertificate() const { return File("tsa.pem"); }
    std::string TsaKey() const { return File("tsa.key"); }
    // A signer's certificates (its own first, then the intermediate that issued it) and key
    // (PEM), e.g. to sign time-stamps with.
    std::string Chain(Signer signer) const;
    std::string Key(Signer signer) const;

    // Signs `input` into `output` with osslsigncode and SHA-256; `extra` is added to its
    // command line (e.g. a timestamp server). True on success.
    bool Sign(Signer signer, const std::string& input, const std::string& output,
              const std::string& extra = std::string()) const;

    // The same with the file's digest and the signer's digest chosen apart ("sha1", "sha256",
    // "sha384", "sha512").
    bool SignWithDigests(Signer signer, const std::string& input, const std::string& output,
                         const std::string& fileDigest, const std::string& signerDigest) const;

    // `osslsigncode verify` of `path` with the trusted root as CA and TSA file: true when
    // it accepts the file.
    bool OsslsigncodeAccepts(const std::string& path) const;

private:
    CodeSigning();
    std::string File(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
};

// A cabinet made by gcab in `workDir` from the members (name, contents), MSZIP-compressed
// when `compress`; each member file gets the modification time `touchTime` (a `touch -d`
// text) when one is given. True on success.
bool MakeCabinet(const std::string& cabinet,
                 const std::vector<std::pair<std::string, std::string>>& members, bool compress,
                 const std::string& workDir, const std::string& touchTime = std::string());

// A minimal valid PE32 (or PE32+) image: headers, one section of code, no certificate table.
std::string MinimalPeImage(bool pe32Plus);

// Quotes a text for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace testsupport
