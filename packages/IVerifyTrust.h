#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

// Checks a file's embedded Authenticode signature and its signer. Results:
//   0 signature trusted and signer accepted
//   1 no usable signer information, or the signer's certificate is not in the message
//   2 the signer's certificate is valid but its name is not an accepted signer name
//   3 the file holds no embedded PKCS #7 signature that can be opened
//   6 the platform's trust verification rejected the file
class IVerifyTrust {
public:
    virtual ~IVerifyTrust() = default;
    virtual uint32_t Verify(const std::string& path) = 0;
};
