#include "ping/PingSender.h"

#include <boost/make_shared.hpp>

#include "ping/PingSocket.h"

namespace {

const char kScheme[] = "http://";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

PingSender::PingSender(const boost::shared_ptr<ISocket>& socket) : socket_(socket) {
    if (!socket_) {
        socket_ = boost::make_shared<Socket>();
    }
}

PingSender::~PingSender() {
    if (socket_) {
        socket_->Close();
    }
    socket_.reset();
}

bool PingSender::Startup() {
    return socket_ ? socket_->Startup() : false;
}

void PingSender::Close() {
    if (socket_) {
        socket_->Close();
    }
}

// The split reads the URL as the scan pattern "http://%[^/]%s" does: the literal scheme, the
// host as the run of characters up to the first "/", then the path as the run of non-blank
// characters from that "/" on (anything after a blank is not part of the request).
// Host and path each have room for kMaxUrlPart bytes, as in the 128-byte buffers of such a scan;
// a longer one fails the ping instead of being cut.
bool PingSender::SplitUrl(const std::string& text, std::string& host, std::string& path) {
    host.clear();
    path.clear();
    const std::string url = text.substr(0, text.find('\0'));  // a C string ends at a NUL
    const size_t schemeLength = sizeof(kScheme) - 1;
    if (url.compare(0, schemeLength, kScheme) != 0) {
        return false;
    }
    const size_t slash = url.find('/', schemeLength);
    if (slash == std::string::npos || slash == schemeLength) {
        return false;  // no path, or no host
    }
    size_t end = slash;
    while (end < url.size() && !IsBlank(url[end])) {
        ++end;
    }
    if (slash - schemeLength > kMaxUrlPart || end - slash > kMaxUrlPart) {
        return false;  // would not fit the request's fixed-size parts
    }
    host = url.substr(schemeLength, slash - schemeLength);
    path = url.substr(slash, end - slash);
    return true;
}

std::string PingSender::BuildRequest(const std::string& host, const std::string& path) {
    std::string request;
    request.reserve(host.size() + path.size() + 32);
    request += "HEAD ";
    request += path;
    request += " HTTP/1.0\r\n";
    request += "Host: ";
    request += host;
    request += "\r\n\r\n";
    return request;
}

bool PingSender::Ping(const std::string& url) {
    if (!socket_) {
        return false;
    }
    std::string host;
    std::string path;
    if (!SplitUrl(url, host, path)) {
        return false;
    }
    if (!socket_->Connect(host)) {
        return false;
    }
    return socket_->Send(BuildRequest(host, path));
}
