// TCP client sockets of the platform, the little that pings need: start-up of the socket layer,
// name resolution to one IPv4 address, a connection with a bounded connect time-out, sending,
// shutting down the sending side, closing.
//
// The POSIX backend uses BSD sockets. Choices where the Windows socket calls leave room:
// - Start-up and clean-up have nothing to do on POSIX; they only answer true.
// - Names are resolved to IPv4 only. A name holding anything but letters, digits, "-", "_" and
//   "." (a port, a blank, a control character) is refused without a lookup: it cannot name an
//   IPv4 host, and it must never reach a request line.
// - Connecting waits at most kConnectTimeoutMilliseconds, so that a server that never answers
//   (a dropped SYN) cannot hold a shutdown for the minutes the system's own time-out lasts.
// - A name look-up is bounded the same way: it runs on the resolver's own thread, and the caller
//   stops waiting at its time-out (the resolver, when it cannot be cancelled, finishes alone).
//   An IPv4 literal is taken as it is, without a look-up.
// - Every send passes MSG_NOSIGNAL: a peer that has gone must not kill the host with SIGPIPE.
// - Sockets are opened close-on-exec, so launched installer programs do not inherit them.
//
// On Windows: Windows Sockets 2 (start-up and clean-up are WSAStartup, version 2.2, and
// WSACleanup); the same choices hold, with the look-up on a thread of its own that holds the
// library loaded until it ends, sockets not inherited, and no signal to fear from a closed peer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A cap on the waits of the calling thread's look-ups and connections, for a caller that must be
// done by a point in time (the ping worker during a stop): while it is set, each wait ends at the
// cap or at its own time-out, whichever comes first. The cap is `millisecondsFromNow` from the
// call; ClearSocketDeadline removes it. Other threads are not affected.
void SetSocketDeadline(uint32_t millisecondsFromNow);
void ClearSocketDeadline();

// A socket handle of the platform; kNoSocket is "none".
typedef int32_t SocketHandle;
const SocketHandle kNoSocket = -1;

// Longest wait for a connection to be accepted.
const uint32_t kConnectTimeoutMilliseconds = 5000;

// Makes the socket layer usable (once per successful call, undone by SocketCleanup).
bool SocketStartup();
void SocketCleanup();

// The first IPv4 address of `host`, in network byte order (four bytes, most significant first),
// found within `timeoutMilliseconds`; false (and `address` untouched) otherwise.
bool ResolveIPv4(const std::string& host, uint8_t address[4], uint32_t timeoutMilliseconds);

// A new TCP socket, or kNoSocket.
SocketHandle OpenStreamSocket();

// Connects `handle` to `address` (network byte order) and `port`, waiting at most
// `timeoutMilliseconds`; true when connected. The socket stays in blocking mode afterwards.
bool ConnectSocket(SocketHandle handle, const uint8_t address[4], uint16_t port,
                   uint32_t timeoutMilliseconds);

// One send call: the number of bytes taken, 0, or a negative value on error.
int64_t SendOnSocket(SocketHandle handle, const char* data, size_t size);

// Shuts the sending side down; false on error.
bool ShutdownSending(SocketHandle handle);

void CloseSocket(SocketHandle handle);

}  // namespace platform
