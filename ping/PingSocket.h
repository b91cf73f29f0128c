// The socket of a ping: one TCP connection at a time to port 80 of a host, over the platform's
// sockets. Not thread-safe: one worker owns it.
#pragma once

#include <cstdint>
#include <string>

#include "ping/ISocket.h"

class Socket : public ISocket {
public:
    Socket() = default;
    ~Socket() override;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Starts the socket layer once; a second call while started does nothing more.
    bool Startup() override;
    // Closes the open connection and undoes a successful Startup.
    void Close() override;
    // Resolves the host (IPv4) and opens a new connection to its port 80, closing the previous
    // one first. The look-up and the connection together wait at most the platform's connect
    // time-out.
    bool Connect(const std::string& host) override;
    // Sends every byte of `data`, then shuts the sending side down. Nothing is ever read; the
    // connection stays open until the next Connect or Close.
    bool Send(const std::string& data) override;

private:
    int32_t handle_ = -1;
    bool started_ = false;
};
