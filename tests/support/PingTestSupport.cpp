#include "support/PingTestSupport.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "settings/IVomoSettings.h"

namespace pingtest {

namespace {

const char kReportsKey[] = "Install\\Setup\\Reports";

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

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::map<std::string, std::string> StoredPings() {
    std::map<std::string, std::string> stored;
    vmds::IVomoSettings::Ptr key;
    vmds::IVomoSettings::NameSetU names;
    if (vmds::OpenSettings(kReportsKey, vmds::kOpenMachineRead, &key) &&
        key->GetValueNames(names)) {
        for (const std::string& name : names) {
            key->GetString(name, stored[name]);
        }
    }
    return stored;
}

bool StorePings(const std::map<std::string, std::string>& values) {
    vmds::IVomoSettings::Ptr key;
    if (!vmds::OpenSettings(kReportsKey, vmds::kCreateMachine, &key)) {
        return false;
    }
    for (const auto& value : values) {
        if (!key->SetString(value.first, value.second)) {
            return false;
        }
    }
    return true;
}

void ForgetStoredPings() {
    vmds::IVomoSettings::Ptr key;
    if (vmds::OpenSettings(kReportsKey, vmds::kOpenMachineWrite, &key)) {
        key->DeleteKey();
    }
}

std::string Request(const std::string& host, const std::string& path) {
    return "HEAD " + path + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
}

// ---- Port80Listener ----------------------------------------------------------------------

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

std::vector<std::string> Port80Listener::WaitForRequests(size_t count, int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                      [&] { return requests_.size() >= count; });
    return requests_;
}

std::vector<std::string> Port80Listener::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

// ---- FakeSocket ----------------------------------------------------------------------------

bool FakeSocket::Startup() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++startups_;
    return true;
}

void FakeSocket::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++closes_;
}

bool FakeSocket::Connect(const std::string& host) {
    std::unique_lock<std::mutex> lock(mutex_);
    hosts_.push_back(host);
    holding_ = hold_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !hold_; });
    holding_ = false;
    return !allDown_ && down_.count(host) == 0;
}

bool FakeSocket::Send(const std::string& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(data);
    return true;
}

void FakeSocket::SetDown(const std::string& host) {
    std::lock_guard<std::mutex> lock(mutex_);
    down_.insert(host);
}

void FakeSocket::SetAllDown(bool down) {
    std::lock_guard<std::mutex> lock(mutex_);
    allDown_ = down;
}

void FakeSocket::Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    hold_ = true;
}

void FakeSocket::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    hold_ = false;
    changed_.notify_all();
}

bool FakeSocket::WaitUntilHeld(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [&] { return holding_; });
}

std::vector<std::string> FakeSocket::Hosts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return hosts_;
}

std::vector<std::string> FakeSocket::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

int FakeSocket::Startups() {
    std::lock_guard<std::mutex> lock(mutex_);
    return startups_;
}

int FakeSocket::Closes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closes_;
}

}  // namespace pingtest
