// libFuzzer target: the embedded-signature reader and the trust check over arbitrary bytes
// taken as a whole file (cabinet or PE image), and the display-name reader over the bytes
// taken as a certificate. Seeds: signed cabinets and PE images (scripts/fuzz makes them).
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Trust.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string signer;
    platform::VerifyBufferTrust(data, size, &signer);
    platform::CertificateSimpleDisplayName(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
