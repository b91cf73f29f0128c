// IVerifyTrust: the signature check every downloaded file passes before it is opened or run.
//
// Results:
//   0 signature trusted and signer accepted
//   1 no usable signer information, or the signer's certificate is not in the message
//   2 the signer's certificate is valid but its name is not an accepted signer name
//   3 the file holds no embedded PKCS #7 signature that can be opened
//   6 the platform's trust verification rejected the file
// On a result other than 0 the calling thread's last error (platform/LastError.h) says why.
// Any thread; an object serves one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "platform/FileSeal.h"

class IVerifyTrust {
public:
    virtual ~IVerifyTrust() = default;
    virtual uint32_t Verify(const std::string& path) = 0;
    // The same check; on 0 `seal` describes the file whose bytes were checked (identity and
    // digest, read through the descriptor the check read), so that the caller can make sure
    // later that the file it runs is still that one. On failure `seal` is left as it was.
    virtual uint32_t VerifyAndSeal(const std::string& path, platform::FileSeal& seal) = 0;
};
