#include "platform/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/LastError.h"
#include "platform/SocketLimits.h"
#include "platform/WindowsSupport_win32.h"

// Windows Sockets 2. Choices beyond Socket.h's:
// - SocketStartup and SocketCleanup are WSAStartup (version 2.2) and WSACleanup; the system
//   counts them.
// - A name look-up runs getaddrinfo on a thread of its own, which the caller stops waiting for at
//   its time-out; a look-up still running then finishes alone, frees what it used, and holds the
//   library loaded until it has.
// - Sockets are not inherited by programs this process starts.
// - Windows never raises a signal for a closed peer: a send to one fails with its error code.

namespace platform {

namespace {

void RecordSocketError(const std::string& what) {
    win32::RecordError(static_cast<DWORD>(::WSAGetLastError()), what);
}

// What a look-up thread and the thread waiting for it share; the last one to let go frees it.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    uint8_t address[4] = {0, 0, 0, 0};
};

// What a look-up thread is started with: its share of the state, the name, and a reference to
// this library, so that a look-up left to finish alone never outlives the code it runs.
struct LookupStart {
    std::shared_ptr<Lookup> lookup;
    std::string host;
    HMODULE module = nullptr;
};

void RunLookup(const std::shared_ptr<Lookup>& lookup, const std::string& host) {
    WSADATA data;
    const bool started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    uint8_t address[4] = {0, 0, 0, 0};
    if (status == 0) {
        status = WSAHOST_NOT_FOUND;
        for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
            if (entry->ai_family == AF_INET && entry->ai_addr &&
                entry->ai_addrlen >= sizeof(sockaddr_in)) {
                sockaddr_in inet;
                std::memcpy(&inet, entry->ai_addr, sizeof inet);
                std::memcpy(address, &inet.sin_addr.s_addr, 4);
                status = 0;
                break;
            }
        }
    }
    if (found) {
        ::freeaddrinfo(found);
    }
    if (started) {
        ::WSACleanup();
    }
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->status = status;
    std::memcpy(lookup->address, address, 4);
    lookup->finished = true;
    lookup->done.notify_all();
}

DWORD WINAPI LookupThread(void* parameter) {
    LookupStart* start = static_cast<LookupStart*>(parameter);
    RunLookup(start->lookup, start->host);
    const HMODULE module = start->module;
    delete start;
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

bool SetBlocking(SOCKET socket, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ::ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

}  // namespace

bool SocketStartup() {
    WSADATA data;
    const int result = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (result != 0) {
        win32::RecordError(static_cast<DWORD>(result), "WSAStartup");
        return false;
    }
    return true;
}

void SocketCleanup() {
    ::WSACleanup();
}

bool ResolveIPv4(const std::string& host, uint8_t address[4], uint32_t timeoutMilliseconds) {
    if (!socketlimits::IsPlainHostName(host)) {
        win32::RecordError(WSAHOST_NOT_FOUND, "not a host name");
        return false;
    }
    in_addr literal;
    if (::inet_pton(AF_INET, host.c_str(), &literal) == 1) {
        std::memcpy(address, &literal.s_addr, 4);
        return true;
    }
    const auto deadline = socketlimits::WaitEnd(timeoutMilliseconds);
    const std::shared_ptr<Lookup> lookup = std::make_shared<Lookup>();
    LookupStart* start = new LookupStart{lookup, host, nullptr};
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<const wchar_t*>(&LookupThread), &start->module)) {
        win32::RecordLastError("GetModuleHandleExW");
        delete start;
        return false;
    }
    HANDLE thread = ::CreateThread(nullptr, 0, LookupThread, start, 0, nullptr);
    if (!thread) {
        win32::RecordLastError("no thread for the name look-up");
        ::FreeLibrary(start->module);
        delete start;
        return false;
    }
    ::CloseHandle(thread);
    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->done.wait_until(lock, deadline, [&lookup] { return lookup->finished; })) {
        win32::RecordError(WSAETIMEDOUT, "the name look-up timed out");
        return false;
    }
    if (lookup->status != 0) {
        win32::RecordError(static_cast<DWORD>(lookup->status), "no IPv4 address for " + host);
        return false;
    }
    std::memcpy(address, lookup->address, 4);
    return true;
}

SocketHandle OpenStreamSocket() {
    SOCKET socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                 WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
        // A system older than the flag: the handle is made not inheritable afterwards.
        socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        if (socket != INVALID_SOCKET) {
            ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
        }
    }
    if (socket == INVALID_SOCKET) {
        RecordSocketError("socket");
        return kNoSocket;
    }
    // Handles are small multiples of four; one that does not fit the handle type is refused.
    if (socket > static_cast<SOCKET>(INT32_MAX)) {
        ::closesocket(socket);
        win32::RecordError(WSAEMFILE, "socket");
        return kNoSocket;
    }
    return static_cast<SocketHandle>(socket);
}

bool ConnectSocket(SocketHandle handle, const uint8_t address[4], uint16_t port,
                   uint32_t timeoutMilliseconds) {
    if (handle < 0) {
        return false;
    }
    const SOCKET socket = static_cast<SOCKET>(handle);
    sockaddr_in target;
    std::memset(&target, 0, sizeof target);
    target.sin_family = AF_INET;
    target.sin_port = ::htons(port);
    std::memcpy(&target.sin_addr.s_addr, address, 4);

    if (!SetBlocking(socket, false)) {
        RecordSocketError("ioctlsocket");
        return false;
    }
    const auto deadline = socketlimits::WaitEnd(timeoutMilliseconds);
    bool connected = false;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        connected = true;
    } else if (::WSAGetLastError() != WSAEWOULDBLOCK) {
        RecordSocketError("connect");
    } else {
        for (;;) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                win32::RecordError(WSAETIMEDOUT, "connect");
                break;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(socket, &writable);
            FD_SET(socket, &failed);
            timeval wait;
            wait.tv_sec = static_cast<long>(left / 1000);
            wait.tv_usec = static_cast<long>((left % 1000) * 1000);
            const int ready = ::select(0, nullptr, &writable, &failed, &wait);
            if (ready == SOCKET_ERROR) {
                RecordSocketError("select");
                break;
            }
            if (ready == 0) {
                continue;  // the deadline check above ends the wait
            }
            int error = 0;
            int length = sizeof error;
            if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                             &length) != 0) {
                RecordSocketError("getsockopt");
            } else if (error != 0 || FD_ISSET(socket, &failed)) {
                win32::RecordError(static_cast<DWORD>(error ? error : WSAECONNREFUSED), "connect");
            } else {
                connected = true;
            }
            break;
        }
    }
    if (connected && !SetBlocking(socket, true)) {
        RecordSocketError("ioctlsocket");
        connected = false;
    }
    return connected;
}

int64_t SendOnSocket(SocketHandle handle, const char* data, size_t size) {
    if (handle < 0) {
        return -1;
    }
    const int chunk = static_cast<int>(size < (1u << 30) ? size : (1u << 30));
    const int sent = ::send(static_cast<SOCKET>(handle), data, chunk, 0);
    if (sent == SOCKET_ERROR) {
        RecordSocketError("send");
        return -1;
    }
    return static_cast<int64_t>(sent);
}

bool ShutdownSending(SocketHandle handle) {
    if (handle < 0) {
        return false;
    }
    if (::shutdown(static_cast<SOCKET>(handle), SD_SEND) == SOCKET_ERROR) {
        RecordSocketError("shutdown");
        return false;
    }
    return true;
}

void CloseSocket(SocketHandle handle) {
    if (handle >= 0) {
        ::closesocket(static_cast<SOCKET>(handle));
    }
}

}  // namespace platform
