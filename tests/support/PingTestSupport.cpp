#include "support/PingTestSupport.h"

#include <chrono>

#include "settings/IVomoSettings.h"

namespace pingtest {

namespace {

const char kReportsKey[] = "Install\\Setup\\Reports";

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

// ---- Port80Listener (its sockets are in Port80Listener.cpp) -------------------------------

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
