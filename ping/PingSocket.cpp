#include "ping/PingSocket.h"

#include <chrono>

#include "platform/Socket.h"

namespace {

const uint16_t kHttpPort = 80;

}  // namespace

Socket::~Socket() {
    Close();
}

bool Socket::Startup() {
    if (started_) {
        return true;
    }
    if (!platform::SocketStartup()) {
        return false;
    }
    started_ = true;
    return true;
}

void Socket::Close() {
    if (handle_ >= 0) {
        platform::CloseSocket(handle_);
        handle_ = -1;
    }
    if (started_) {
        platform::SocketCleanup();
    }
    started_ = false;
}

bool Socket::Connect(const std::string& host) {
    if (!started_) {
        return false;
    }
    // The look-up and the connection share one connect time-out.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(platform::kConnectTimeoutMilliseconds);
    uint8_t address[4] = {0, 0, 0, 0};
    if (!platform::ResolveIPv4(host, address, platform::kConnectTimeoutMilliseconds)) {
        return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return false;
    }
    if (handle_ >= 0) {
        platform::CloseSocket(handle_);
        handle_ = -1;
    }
    handle_ = platform::OpenStreamSocket();
    if (handle_ < 0) {
        handle_ = -1;
        return false;
    }
    return platform::ConnectSocket(handle_, address, kHttpPort,
                                   static_cast<uint32_t>(left.count()));
}

bool Socket::Send(const std::string& data) {
    if (!started_ || handle_ < 0) {
        return false;
    }
    size_t sent = 0;
    int64_t last = 0;
    while (sent < data.size()) {
        last = platform::SendOnSocket(handle_, data.data() + sent, data.size() - sent);
        if (last <= 0) {
            break;
        }
        sent += static_cast<size_t>(last);
    }
    if (last < 0) {
        return false;
    }
    if (sent < data.size()) {
        return false;  // the connection took nothing more: the request did not go out whole
    }
    return platform::ShutdownSending(handle_);
}
