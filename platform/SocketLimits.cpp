#include "platform/SocketLimits.h"

#include "platform/Socket.h"

namespace platform {

namespace {

// The calling thread's cap on waits (SetSocketDeadline); none when not set.
thread_local bool hasDeadline = false;
thread_local std::chrono::steady_clock::time_point threadDeadline;

}  // namespace

void SetSocketDeadline(uint32_t millisecondsFromNow) {
    threadDeadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(millisecondsFromNow);
    hasDeadline = true;
}

void ClearSocketDeadline() {
    hasDeadline = false;
}

namespace socketlimits {

bool IsPlainHostName(const std::string& host) {
    if (host.empty()) {
        return false;
    }
    for (char c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!plain) {
            return false;
        }
    }
    return true;
}

std::chrono::steady_clock::time_point WaitEnd(uint32_t timeoutMilliseconds) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    return hasDeadline && threadDeadline < end ? threadDeadline : end;
}

}  // namespace socketlimits
}  // namespace platform
