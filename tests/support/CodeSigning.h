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

// Signing identities. Every one but kUntrusted is issued under the trusted root through an
// intermediate that the signature carries.
enum class Signer {
    kVomoLlc,        // "Vomo, LLC" (EC key)
    kVomoInc,        // "Vomo, Inc." (RSA key)
    kOtherMaker,     // "Other Maker, Ltd."
    kLowerCase,      // "vomo, llc"
    kTrailingBlank,  // "Vomo, LLC "
    kExpired,        // "Vomo, LLC", valid only in 2020
    kUntrusted,      // "Vomo, LLC" under a root nobody trusts
    kServerAuth,     // "Vomo, LLC" whose extended key usage is server authentication only
    kNoKeyUsage,     // "Vomo, LLC" without an extended key usage extension
    kOrganization,   // no common name, organization "Vomo, LLC"
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

    // Signs `input` into `output` with osslsigncode and SHA-256; `extra` is added to its
    // command line (e.g. a timestamp server). True on success.
    bool Sign(Signer signer, const std::string& input, const std::string& output,
              const std::string& extra = std::string()) const;

    // `osslsigncode verify` of `path` with the trusted root as CA and TSA file: true when
    // it accepts the file.
    bool OsslsigncodeAccepts(const std::string& path) const;

private:
    CodeSigning();
    std::string File(const std::string& name) const { return dir_ + "/" + name; }
    std::string Chain(Signer signer) const;
    std::string Key(Signer signer) const;

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
