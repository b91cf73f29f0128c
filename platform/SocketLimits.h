// What both socket backends (Socket.cpp, Socket_win32.cpp) share beyond Socket.h: which host
// names may be looked up, and how far the calling thread's deadline (SetSocketDeadline) lets a
// wait run. Only the socket backends use it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {
namespace socketlimits {

// Host names and IPv4 literals are made of letters, digits, "-", "_" and ".". Anything else (a
// port, a blank, a control character) cannot name an IPv4 host and is refused without a lookup.
bool IsPlainHostName(const std::string& host);

// The end of a wait of `timeoutMilliseconds` from now, moved up to the calling thread's cap.
std::chrono::steady_clock::time_point WaitEnd(uint32_t timeoutMilliseconds);

}  // namespace socketlimits
}  // namespace platform
