// Helpers of the ping tests: a listener on port 80 of a loopback address and a substitute
// socket.
//
// Each test binds its own loopback address (127.0.80.x), so that tests of one program running at
// the same time never share a listener. Binding port 80 needs root, as the tests have in CI; a
// listener that cannot bind fails its test with the reason.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ping/ISocket.h"

namespace pingtest {

class Port80Listener {
public:
    enum Mode {
        kRead,       // accepts every connection and reads it to its end, never answering
        kSilent,     // never accepts nor reads: connections wait, complete, in the kernel's queue
        kBlackhole,  // its accept queue is kept full: new connections are never completed
    };

    explicit Port80Listener(const std::string& address, Mode mode = kRead);
    ~Port80Listener();
    Port80Listener(const Port80Listener&) = delete;
    Port80Listener& operator=(const Port80Listener&) = delete;

    // Empty when listening; else why not.
    const std::string& Error() const { return error_; }
    const std::string& Address() const { return address_; }

    // Waits up to `milliseconds` until `count` requests were read; the requests read by then.
    std::vector<std::string> WaitForRequests(size_t count, int milliseconds);
    std::vector<std::string> Requests();

private:
    void Serve();

    std::string address_;
    std::string error_;
    int listener_ = -1;
    int filler_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> requests_;
};

// A socket that touches no network: records what it is asked, fails for chosen hosts, and can
// hold a connection until released. Thread-safe.
class FakeSocket : public ISocket {
public:
    bool Startup() override;
    void Close() override;
    bool Connect(const std::string& host) override;
    bool Send(const std::string& data) override;

    void SetDown(const std::string& host);  // connections to this host fail
    void SetAllDown(bool down);
    void Hold();  // Connect waits until Release()
    void Release();

    std::vector<std::string> Hosts();
    std::vector<std::string> Requests();
    int Startups();
    int Closes();
    bool WaitUntilHeld(int milliseconds);  // true once a Connect is waiting in Hold()

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string> down_;
    bool allDown_ = false;
    bool hold_ = false;
    bool holding_ = false;
    std::vector<std::string> hosts_;
    std::vector<std::string> requests_;
    int startups_ = 0;
    int closes_ = 0;
};

// The request bytes for a host and a path.
std::string Request(const std::string& host, const std::string& path);

// The pings stored under "Install\Setup\Reports", by value name; empty without the key.
std::map<std::string, std::string> StoredPings();
// Adds string values to that key, creating it; false when one cannot be written.
bool StorePings(const std::map<std::string, std::string>& values);
// Removes the key.
void ForgetStoredPings();

// Milliseconds on the monotonic clock.
int64_t NowMs();

}  // namespace pingtest
