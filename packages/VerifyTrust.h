// VerifyTrust: the signature check every downloaded file passes before it is opened or run.
#pragma once

#include <cstdint>
#include <string>

#include "packages/IVerifyTrust.h"

// Accepts a file whose embedded Authenticode signature the platform trusts and whose signer
// certificate's simple display name is exactly "Vomo, LLC" or "Vomo, Inc.". The file is read
// once: the name checked is that of the bytes whose signature was verified. An object keeps
// only what its last Verify found; it serves one thread at a time.
class VerifyTrust : public IVerifyTrust {
public:
    uint32_t Verify(const std::string& path) override;
    uint32_t VerifyAndSeal(const std::string& path, platform::FileSeal& seal) override;

    // What the last check of this object found, to say why a file was refused.
    struct Finding {
        uint32_t status = 0;  // the platform's trust status (platform/Trust.h)
        std::string signer;   // the signer's name, when the signature was trusted
        std::string reason;   // the platform's reason text for a refused signature
    };
    const Finding& LastFinding() const { return finding_; }

    // Whether `name` is an accepted signer's name (compared byte for byte).
    static bool IsAcceptedSigner(const std::string& name);

private:
    uint32_t Check(const std::string& path, platform::FileSeal* seal);

    Finding finding_;
};
