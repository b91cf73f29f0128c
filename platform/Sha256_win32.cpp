#include "platform/Sha256.h"

#include "platform/WindowsSupport_win32.h"

#include <bcrypt.h>

#include "platform/LastError.h"

// SHA-256 through BCrypt's SHA-256 provider, opened for HMAC when a key is given.

namespace platform {

namespace win32 {

std::string BCryptSha256(const std::string& bytes, const std::string& key) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    NTSTATUS status = ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                                    key.empty() ? 0 : BCRYPT_ALG_HANDLE_HMAC_FLAG);
    if (status != 0) {
        SetLastError(static_cast<uint32_t>(status), "SHA-256 is not available");
        return std::string();
    }
    unsigned char digest[32];
    BCRYPT_HASH_HANDLE hash = nullptr;
    status = ::BCryptCreateHash(algorithm, &hash, nullptr, 0,
                                reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())),
                                static_cast<ULONG>(key.size()), 0);
    if (status == 0) {
        status = ::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                  static_cast<ULONG>(bytes.size()), 0);
    }
    if (status == 0) {
        status = ::BCryptFinishHash(hash, digest, sizeof digest, 0);
    }
    if (hash) {
        ::BCryptDestroyHash(hash);
    }
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (status != 0) {
        SetLastError(static_cast<uint32_t>(status), "SHA-256 failed");
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

}  // namespace win32

std::string Sha256(const std::string& bytes) {
    return win32::BCryptSha256(bytes);
}

}  // namespace platform
