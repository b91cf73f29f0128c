// SHA-256 of bytes in memory: the platform's own digest (OpenSSL; BCrypt on Windows).
// May run on several threads at once.
#pragma once

#include <string>

namespace platform {

// The 32 bytes of SHA-256 over `bytes`; empty, with the last error recorded, when the digest
// cannot be computed.
std::string Sha256(const std::string& bytes);

}  // namespace platform
