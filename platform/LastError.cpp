#include "platform/LastError.h"

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

struct LastError {
    uint32_t code = 0;
    std::string text;
};

LastError& Current() {
    static thread_local LastError error;
    return error;
}

}  // namespace

void SetLastError(uint32_t code, const std::string& text) {
    Current().code = code;
    Current().text = text;
}

void SetLastErrorFromErrno() {
    const int code = errno;
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not live in `buffer`.
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    SetLastError(static_cast<uint32_t>(code), text ? text : "");
}

void ClearLastError() {
    SetLastError(0, std::string());
}

uint32_t GetLastErrorCode() {
    return Current().code;
}

std::string GetLastErrorText() {
    return Current().text;
}

}  // namespace platform
