#include "tools/vcm/WaitNotice.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "platform/LogFile.h"
#include "tools/vcm/LogView.h"

namespace vcmtool {

namespace {

const char kWaitLine[] = "waiting for another update run";
const std::chrono::milliseconds kLookInterval(200);

}  // namespace

WaitNotice::WaitNotice(const std::string& command) {
    // The live view of an uninstall on a terminal shows every line of the log already.
    const bool shown = command == "uninstall" && ::isatty(STDOUT_FILENO);
    if ((command != "update" && command != "uninstall" && command != "hotfix") || shown) {
        return;
    }
    // On a terminal, the line of an update's progress is cleared first (it is drawn anew
    // below).
    clear_ = ::isatty(STDERR_FILENO) ? "\r\033[K" : "";
    offset_ = LogSize();
    thread_ = std::thread(&WaitNotice::Watch, this);
}

WaitNotice::~WaitNotice() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void WaitNotice::Watch() {
    const std::string path = platform::InstallLogPath();
    const std::string self = "(process " + std::to_string(::getpid()) + ")";
    while (!stop_) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        if (in) {
            if (static_cast<std::streamoff>(in.tellg()) < offset_) {
                offset_ = 0;  // the log was rotated
            }
            in.seekg(offset_);
            std::string line;
            while (std::getline(in, line) && !in.eof()) {
                offset_ += static_cast<std::streamoff>(line.size()) + 1;
                const std::string::size_type at = line.find(kWaitLine);
                // The log is every process's: a line that names this process is another's
                // wait for it.
                if (at != std::string::npos && line.find(self) == std::string::npos) {
                    std::fprintf(stderr, "%svcm: %s\n", clear_.c_str(), line.substr(at).c_str());
                }
            }
        }
        std::this_thread::sleep_for(kLookInterval);
    }
}

}  // namespace vcmtool
