// While a run of vcm waits for another update run, the install log says so ("waiting for
// another update run (process N)"); this notice copies that line to standard error, so that
// whoever reads vcm's messages, on a terminal or not, learns why nothing happens (an uninstall's
// live view on a terminal shows it already). The log is shared by every process: a line naming
// this process is another one's wait for it, and is not copied.
#pragma once

#include <atomic>
#include <ios>
#include <string>
#include <thread>

namespace vcmtool {

class WaitNotice {
public:
    // Watches the install log for the commands that run installers (update, uninstall,
    // hotfix); otherwise does nothing.
    explicit WaitNotice(const std::string& command);
    ~WaitNotice();
    WaitNotice(const WaitNotice&) = delete;
    WaitNotice& operator=(const WaitNotice&) = delete;

private:
    void Watch();

    std::string clear_;  // what goes before a notice on a terminal
    std::streamoff offset_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace vcmtool
