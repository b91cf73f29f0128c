// A small HTTP/1.1 server on 127.0.0.1 for download tests and benchmarks: fixed replies per
// path, served one connection per thread, with faults on demand (a connection dropped half-way,
// a stall, a slow trickle, failed answers first), and ranges honoured on demand. Every
// request's header block is kept for inspection, and the body bytes sent are counted.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct HttpReply {
    int status = 200;
    std::string extraHeaders;  // complete lines, each ending in "\r\n"
    std::shared_ptr<const std::string> body = std::make_shared<std::string>();
    size_t dropAfter = std::string::npos;      // close the connection after this many body bytes
    size_t stallAfter = std::string::npos;     // stop sending (and hold on) after this many
    size_t chunkSize = 1 << 20;                // body bytes per send
    int chunkDelayMs = 0;                      // pause after each chunk
    bool announceLength = true;                // false: no Content-Length, the close ends the body
    size_t faultyAnswers = std::string::npos;  // dropAfter and stallAfter: the first answers only
    size_t failedAnswers = 0;  // so many answers first have the status failStatus, no body
    int failStatus = 503;
    bool honourRange = false;  // answer "Range: bytes=N-" with 206 and the rest
    std::string etag;          // sent as ETag; an If-Range naming another gets the whole body

    static HttpReply Body(const std::string& text) {
        HttpReply reply;
        reply.body = std::make_shared<std::string>(text);
        return reply;
    }
    static HttpReply Status(int status) {
        HttpReply reply = Body("error page\n");
        reply.status = status;
        return reply;
    }
    static HttpReply Redirect(const std::string& location) {
        HttpReply reply = Body("moved\n");
        reply.status = 302;
        reply.extraHeaders = "Location: " + location + "\r\n";
        return reply;
    }
};

class LocalHttpServer {
public:
    LocalHttpServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, Address(address), length) != 0 ||
            ::listen(listener_, 64) != 0 || ::getsockname(listener_, Address(address), &length)) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { Accept(); });
    }
    ~LocalHttpServer() {
        stop_ = true;
        acceptor_.join();
        ::close(listener_);
        std::vector<std::thread> connections;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            connections.swap(connections_);
        }
        for (std::thread& connection : connections) {
            connection.join();
        }
    }

    // A reply routed anew counts its answers (faultyAnswers, failedAnswers) from the first.
    void Route(const std::string& path, const HttpReply& reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_[path] = reply;
        answers_[path] = 0;
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    // Body bytes sent so far, all answers together.
    size_t BodyBytesSent() const { return bodyBytesSent_.load(); }

    // The value of the header `name` in `request`, or empty.
    static std::string Header(const std::string& request, const std::string& name) {
        const std::string key = "\r\n" + name + ": ";
        const size_t at = request.find(key);
        if (at == std::string::npos) {
            return std::string();
        }
        const size_t start = at + key.size();
        return request.substr(start, request.find("\r\n", start) - start);
    }

private:
    static sockaddr* Address(sockaddr_in& address) { return reinterpret_cast<sockaddr*>(&address); }

    void Accept() {
        while (!stop_) {
            pollfd ready = {listener_, POLLIN, 0};
            if (::poll(&ready, 1, 20) <= 0) {
                continue;
            }
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                continue;
            }
            // Short time-outs let every blocking call look at stop_ often.
            timeval slice = {0, 20000};
            ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
            ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice);
            std::lock_guard<std::mutex> lock(mutex_);
            connections_.emplace_back([this, connection] {
                Serve(connection);
                ::close(connection);
            });
        }
    }

    bool SendAll(int connection, const char* data, size_t size) {
        while (size > 0 && !stop_) {
            const ssize_t sent = ::send(connection, data, size, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                    continue;
                }
                return false;  // the client went away
            }
            data += sent;
            size -= static_cast<size_t>(sent);
        }
        return size == 0;
    }

    // Waits until the client closes its end or the server stops.
    void Hold(int connection) {
        char scratch[256];
        while (!stop_) {
            const ssize_t got = ::recv(connection, scratch, sizeof scratch, 0);
            if (got == 0 ||
                (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                return;
            }
        }
    }

    void Serve(int connection) {
        std::string request;
        char buffer[4096];
        while (!stop_ && request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got == 0 ||
                (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                return;
            }
            if (got > 0) {
                request.append(buffer, static_cast<size_t>(got));
            }
        }
        const size_t pathStart = request.find(' ') + 1;
        const std::string path =
            request.substr(pathStart, request.find(' ', pathStart) - pathStart);
        HttpReply reply = HttpReply::Status(404);
        size_t answer = 0;  // how many answers this path had before
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
            if (routes_.count(path)) {
                reply = routes_[path];
            }
            answer = answers_[path]++;
        }
        if (answer < reply.failedAnswers) {
            reply = HttpReply::Status(reply.failStatus);
        }
        if (answer >= reply.faultyAnswers) {
            reply.dropAfter = reply.stallAfter = std::string::npos;
        }
        const std::string& body = *reply.body;
        size_t start = 0;
        std::string status = std::to_string(reply.status) + " Reply";
        std::string headers = reply.extraHeaders;
        if (!reply.etag.empty()) {
            headers += "ETag: " + reply.etag + "\r\n";
        }
        const std::string ifRange = Header(request, "If-Range");
        const std::string range = Header(request, "Range");
        if (reply.honourRange && reply.status == 200 && range.compare(0, 6, "bytes=") == 0 &&
            (ifRange.empty() || ifRange == reply.etag)) {
            start = std::min<size_t>(std::strtoull(range.c_str() + 6, nullptr, 10), body.size());
            status = "206 Partial Content";
            headers += "Content-Range: bytes " + std::to_string(start) + "-" +
                       std::to_string(body.size() - 1) + "/" + std::to_string(body.size()) + "\r\n";
        }
        const std::string length =
            reply.announceLength ? "Content-Length: " + std::to_string(body.size() - start) + "\r\n"
                                 : "";
        const std::string head =
            "HTTP/1.1 " + status + "\r\n" + length + "Connection: close\r\n" + headers + "\r\n";
        if (!SendAll(connection, head.data(), head.size())) {
            return;
        }
        // The faults count the bytes of the whole body, wherever this answer starts.
        const size_t end = std::min(body.size(), std::min(reply.dropAfter, reply.stallAfter));
        for (size_t offset = start; offset < end && !stop_;) {
            const size_t length = std::min(reply.chunkSize, end - offset);
            if (!SendAll(connection, body.data() + offset, length)) {
                return;
            }
            bodyBytesSent_ += length;
            offset += length;
            for (int waited = 0; waited < reply.chunkDelayMs && !stop_; waited += 5) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        if (reply.stallAfter < body.size()) {
            Hold(connection);
        } else if (reply.dropAfter >= body.size()) {
            ::shutdown(connection, SHUT_WR);
            Hold(connection);  // until the client has read everything and closed
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::map<std::string, HttpReply> routes_;
    std::map<std::string, size_t> answers_;
    std::vector<std::string> requests_;
    std::atomic<size_t> bodyBytesSent_{0};
};

}  // namespace testsupport
