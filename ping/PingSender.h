// Sends a ping: an HTTP/1.0 HEAD request for an "http://host/path" URL, written to a fresh
// connection to port 80 of the host. Only whether the request went out whole is reported; no
// reply is read. Not thread-safe: one worker owns a sender.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "ping/IPingSender.h"
#include "ping/ISocket.h"

class PingSender : public IPingSender {
public:
    // Drives `socket`; with an empty pointer the sender makes a Socket of its own.
    explicit PingSender(const boost::shared_ptr<ISocket>& socket = boost::shared_ptr<ISocket>());
    // Closes the socket.
    ~PingSender() override;
    PingSender(const PingSender&) = delete;
    PingSender& operator=(const PingSender&) = delete;

    bool Startup() override;
    void Close() override;
    // Splits the URL into host and path, connects to the host and sends
    // "HEAD <path> HTTP/1.0\r\nHost: <host>\r\n\r\n". Not "http://", an empty host or path, or
    // a host or path of more than kMaxUrlPart bytes: false without touching the network.
    bool Ping(const std::string& url) override;

    // Longest host part and longest path a ping carries, in bytes.
    static constexpr size_t kMaxUrlPart = 127;

    // The host and path of a ping URL as they are sent; false when the URL cannot be pinged.
    static bool SplitUrl(const std::string& url, std::string& host, std::string& path);
    // The request bytes for a host and a path.
    static std::string BuildRequest(const std::string& host, const std::string& path);

private:
    boost::shared_ptr<ISocket> socket_;
};
