#include "platform/LastError.h"

#include <cerrno>
#include <system_error>

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
    // The C library's text for the code, read in a way that is safe on every thread.
    SetLastError(static_cast<uint32_t>(code), std::generic_category().message(code));
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
