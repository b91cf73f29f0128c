// VerifyTrust: the signature check every downloaded file passes before it is opened or run.
#pragma once

#include <cstdint>
#include <string>

#include "packages/IVerifyTrust.h"

// Accepts a file whose embedded Authenticode signature the platform trusts and whose signer
// certificate's simple display name is exactly "Vomo, LLC" or "Vomo, Inc.". The file is read
// once: the name checked is that of the bytes whose signature was verified. Holds no state;
// Verify may run on several threads at once.
class VerifyTrust : public IVerifyTrust {
public:
    uint32_t Verify(const std::string& path) override;
    uint32_t VerifyAndSeal(const std::string& path, platform::FileSeal& seal) override;

    // Whether `name` is an accepted signer's name (compared byte for byte).
    static bool IsAcceptedSigner(const std::string& name);

private:
    uint32_t Check(const std::string& path, platform::FileSeal* seal);
};
