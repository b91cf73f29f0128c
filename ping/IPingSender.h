#pragma once

#include <string>

// Sends one ping: an HTTP/1.0 HEAD request for a URL on a fresh connection.
// (The component manager's hint sender is vcm::IPingSender.)
class IPingSender {
public:
    virtual ~IPingSender() = default;
    virtual bool Startup() = 0;
    virtual void Close() = 0;
    virtual bool Ping(const std::string& url) = 0;
};
