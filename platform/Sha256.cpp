#include "platform/Sha256.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include "platform/LastError.h"

namespace platform {

std::string Sha256(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        char text[256];
        ERR_error_string_n(ERR_get_error(), text, sizeof text);
        SetLastError(0, text);
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}

}  // namespace platform
