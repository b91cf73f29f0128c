#include "support/PingTestSupport.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

// The listener on Windows Sockets. Under Wine the sockets are the host's, so binding port 80
// needs root there too.

namespace pingtest {

namespace {

bool MakeAddress(const std::string& address, uint16_t port, sockaddr_in& out) {
    std::memset(&out, 0, sizeof(out));
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return ::inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
}

bool Readable(SOCKET socket, long milliseconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    return ::select(0, &set, nullptr, nullptr, &wait) > 0;
}

// Reads a connection to its end (or for at most five seconds).
std::string ReadAll(SOCKET socket) {
    std::string data;
    const int64_t deadline = NowMs() + 5000;
    char buffer[1024];
    while (NowMs() < deadline) {
        if (!Readable(socket, 100)) {
            continue;
        }
        const int got = ::recv(socket, buffer, sizeof(buffer), 0);
        if (got <= 0) {
            break;
        }
        data.append(buffer, static_cast<size_t>(got));
    }
    return data;
}

std::string LastSocketError() {
    return "error " + std::to_string(::WSAGetLastError());
}

}  // namespace

Port80Listener::Port80Listener(const std::string& address, Mode mode) : address_(address) {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    sockaddr_in local;
    if (!MakeAddress(address, 80, local)) {
        error_ = "not an IPv4 address: " + address;
        return;
    }
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    listener_ = listener == INVALID_SOCKET ? -1 : static_cast<int>(listener);
    const BOOL on = TRUE;
    if (listener_ < 0 ||
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                     sizeof(on)) != 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(listener, mode == kBlackhole ? 0 : 16) != 0) {
        error_ = "cannot listen on " + address + ":80 (tests need root): " + LastSocketError();
        return;
    }
    if (mode == kBlackhole) {
        // One completed connection fills an accept queue of length 0; the listener never
        // accepts it, so the handshakes of later connections are dropped.
        const SOCKET filler = ::socket(AF_INET, SOCK_STREAM, 0);
        filler_ = filler == INVALID_SOCKET ? -1 : static_cast<int>(filler);
        if (filler_ < 0 ||
            ::connect(filler, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
            error_ = "cannot fill the accept queue: " + LastSocketError();
        }
        return;
    }
    if (mode == kRead) {
        thread_ = std::thread([this] { Serve(); });
    }
}

Port80Listener::~Port80Listener() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (filler_ >= 0) {
        ::closesocket(static_cast<SOCKET>(filler_));
    }
    if (listener_ >= 0) {
        ::closesocket(static_cast<SOCKET>(listener_));
    }
    ::WSACleanup();
}

void Port80Listener::Serve() {
    const SOCKET listener = static_cast<SOCKET>(listener_);
    while (!stop_) {
        if (!Readable(listener, 50)) {
            continue;
        }
        const SOCKET connection = ::accept(listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET) {
            continue;
        }
        const std::string request = ReadAll(connection);
        ::closesocket(connection);
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        arrived_.notify_all();
    }
}

}  // namespace pingtest
