#pragma once

#include <string>

// A thin TCP client: connects to port 80 of a host and sends one request.
class ISocket {
public:
    virtual ~ISocket() = default;
    virtual bool Startup() = 0;  // the socket layer is usable
    virtual void Close() = 0;
    virtual bool Connect(const std::string& host) = 0;  // new connection to port 80
    virtual bool Send(const std::string& data) = 0;     // all bytes sent, sending side shut
};
