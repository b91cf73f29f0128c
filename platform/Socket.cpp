#include "platform/Socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/LastError.h"
#include "platform/SocketLimits.h"

namespace platform {

namespace {

bool SetNonBlocking(int fd, bool on) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) {
        return false;
    }
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return wanted == flags || ::fcntl(fd, F_SETFL, wanted) == 0;
}

// Waits until the pending connection of `fd` is settled or the deadline passes.
bool WaitForConnection(int fd, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            SetLastError(ETIMEDOUT, std::strerror(ETIMEDOUT));
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        struct pollfd entry;
        entry.fd = fd;
        entry.events = POLLOUT;
        entry.revents = 0;
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastErrorFromErrno();
            return false;
        }
        if (ready == 0) {
            continue;  // the deadline check above ends the wait
        }
        int error = 0;
        socklen_t length = sizeof(error);
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            SetLastErrorFromErrno();
            return false;
        }
        if (error != 0) {
            SetLastError(static_cast<uint32_t>(error), std::strerror(error));
            return false;
        }
        return true;
    }
}

// One asynchronous look-up, kept together with the name and the hints it points to.
struct LookupRequest {
    explicit LookupRequest(const std::string& host) : name(host) {
        std::memset(&hints, 0, sizeof(hints));
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        std::memset(&request, 0, sizeof(request));
        request.ar_name = name.c_str();
        request.ar_request = &hints;
    }
    LookupRequest(const LookupRequest&) = delete;
    LookupRequest& operator=(const LookupRequest&) = delete;

    const std::string name;
    struct addrinfo hints;
    struct gaicb request;
};

}  // namespace

bool SocketStartup() {
    return true;
}

void SocketCleanup() {}

bool ResolveIPv4(const std::string& host, uint8_t address[4], uint32_t timeoutMilliseconds) {
    if (!socketlimits::IsPlainHostName(host)) {
        SetLastError(EAI_NONAME, "not a host name");
        return false;
    }
    struct in_addr literal;
    if (::inet_pton(AF_INET, host.c_str(), &literal) == 1) {
        std::memcpy(address, &literal.s_addr, 4);
        return true;
    }

    // The look-up runs on the resolver's own thread so that this one can stop waiting for it.
    LookupRequest* lookup = new LookupRequest(host);
    struct gaicb* requests[1] = {&lookup->request};
    const int started = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr);
    if (started != 0) {
        SetLastError(static_cast<uint32_t>(started), ::gai_strerror(started));
        delete lookup;
        return false;
    }
    const auto deadline = socketlimits::WaitEnd(timeoutMilliseconds);
    int status = ::gai_error(&lookup->request);
    while (status == EAI_INPROGRESS) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            status = ::gai_cancel(&lookup->request);
            if (status == EAI_ALLDONE) {
                status = ::gai_error(&lookup->request);  // it ended meanwhile
                break;
            }
            if (status != EAI_CANCELED) {
                // Still running and beyond cancelling: the resolver's thread writes its answer
                // into the block later, so the block is left to it and never freed.
                lookup = nullptr;
            }
            delete lookup;
            SetLastError(ETIMEDOUT, "the name look-up timed out");
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
        struct timespec wait;
        wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
        wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
        const struct gaicb* waiting[1] = {&lookup->request};
        ::gai_suspend(waiting, 1, &wait);
        status = ::gai_error(&lookup->request);
    }
    struct addrinfo* found = lookup->request.ar_result;
    bool ok = false;
    if (status != 0 || !found) {
        SetLastError(static_cast<uint32_t>(status), ::gai_strerror(status));
    } else {
        for (const struct addrinfo* entry = found; entry; entry = entry->ai_next) {
            if (entry->ai_family == AF_INET && entry->ai_addr &&
                entry->ai_addrlen >= sizeof(struct sockaddr_in)) {
                struct sockaddr_in inet;
                std::memcpy(&inet, entry->ai_addr, sizeof(inet));
                std::memcpy(address, &inet.sin_addr.s_addr, 4);
                ok = true;
                break;
            }
        }
        if (!ok) {
            SetLastError(EAI_NONAME, "no IPv4 address");
        }
    }
    if (found) {
        ::freeaddrinfo(found);
    }
    delete lookup;
    return ok;
}

SocketHandle OpenStreamSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return kNoSocket;
    }
    return static_cast<SocketHandle>(fd);
}

bool ConnectSocket(SocketHandle handle, const uint8_t address[4], uint16_t port,
                   uint32_t timeoutMilliseconds) {
    if (handle < 0) {
        return false;
    }
    const int fd = static_cast<int>(handle);
    struct sockaddr_in target;
    std::memset(&target, 0, sizeof(target));
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    std::memcpy(&target.sin_addr.s_addr, address, 4);

    if (!SetNonBlocking(fd, true)) {
        SetLastErrorFromErrno();
        return false;
    }
    const auto deadline = socketlimits::WaitEnd(timeoutMilliseconds);
    bool connected = false;
    if (::connect(fd, reinterpret_cast<const struct sockaddr*>(&target), sizeof(target)) == 0) {
        connected = true;
    } else if (errno == EINPROGRESS || errno == EINTR) {
        connected = WaitForConnection(fd, deadline);
    } else {
        SetLastErrorFromErrno();
    }
    if (connected && !SetNonBlocking(fd, false)) {
        SetLastErrorFromErrno();
        connected = false;
    }
    return connected;
}

int64_t SendOnSocket(SocketHandle handle, const char* data, size_t size) {
    if (handle < 0) {
        return -1;
    }
    for (;;) {
        const ssize_t sent = ::send(static_cast<int>(handle), data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0) {
            SetLastErrorFromErrno();
        }
        return static_cast<int64_t>(sent);
    }
}

bool ShutdownSending(SocketHandle handle) {
    if (handle < 0) {
        return false;
    }
    if (::shutdown(static_cast<int>(handle), SHUT_WR) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

void CloseSocket(SocketHandle handle) {
    if (handle >= 0) {
        ::close(static_cast<int>(handle));
    }
}

}  // namespace platform
