// "The last system error" of the calling thread. Every platform call that fails records a code
// and a readable text (from strerror, libcurl, OpenSSL or SQLite; on Windows the system's own
// error code with its FormatMessageW text); callers word their messages with the text.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

void SetLastError(uint32_t code, const std::string& text);
// Records errno's current value with strerror's text.
void SetLastErrorFromErrno();
void ClearLastError();
uint32_t GetLastErrorCode();
std::string GetLastErrorText();

}  // namespace platform
