#include "support/PingTestSupport.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace pingtest {

namespace {

bool MakeAddress(const std::string& address, uint16_t port, sockaddr_in& out) {
    std::memset(&out, 0, sizeof(out));
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return ::inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
}

// Reads a connection to its end (or for at most five seconds).
std::string ReadAll(int fd) {
    std::string data;
    const int64_t deadline = NowMs() + 5000;
    char buffer[1024];
    while (NowMs() < deadline) {
        pollfd entry = {fd, POLLIN, 0};
        if (::poll(&entry, 1, 100) <= 0) {
            continue;
        }
        const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
        if (got <= 0) {
            break;
        }
        data.append(buffer, static_cast<size_t>(got));
    }
    return data;
}

}  // namespace

Port80Listener::Port80Listener(const std::string& address, Mode mode) : address_(address) {
    sockaddr_in local;
    if (!MakeAddress(address, 80, local)) {
        error_ = "not an IPv4 address: " + address;
        return;
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (listener_ < 0 || ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(listener_, mode == kBlackhole ? 0 : 16) != 0) {
        error_ = "cannot listen on " + address + ":80 (tests need root): " + std::strerror(errno);
        return;
    }
    if (mode == kBlackhole) {
        // One completed connection fills an accept queue of length 0; the listener never
        // accepts it, so the handshakes of later connections are dropped.
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (filler_ < 0 ||
            ::connect(filler_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
            error_ = "cannot fill the accept queue: " + std::string(std::strerror(errno));
        }
        return;
    }
    if (mode == kRead) {
        thread_ = std::thread(&Port80Listener::Serve, this);
    }
}

Port80Listener::~Port80Listener() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (filler_ >= 0) {
        ::close(filler_);
    }
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

void Port80Listener::Serve() {
    while (!stop_) {
        pollfd entry = {listener_, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) {
            continue;
        }
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        const std::string request = ReadAll(connection);
        ::close(connection);
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        arrived_.notify_all();
    }
}

}  // namespace pingtest
