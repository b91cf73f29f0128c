// vcm's views of the install log: its size before a request, the reason of the last failure a
// request wrote, the whole log, and the live view shown on a terminal while an update runs.
// The log is read as the library writes it, never through a link planted under its name
// (platform/LogFile.h), and control characters in what is shown are escaped
// (api/ControlCharacters.h).
#pragma once

#include <chrono>
#include <condition_variable>
#include <ios>
#include <mutex>
#include <string>
#include <thread>

namespace vcmtool {

// The size of the install log now, to read what a request adds to it.
std::streamoff LogSize();

// The text of the last error line the log gained since `start` (without its time and kind), or
// empty. A log rotated meanwhile is read from its start.
std::string LastErrorLine(std::streamoff start);

// Prints the install log, the rotated part first. 0, or 1 when there is none.
int PrintLog();

// While an update runs on a terminal: the install log's new lines as they are written, and
// below them a line with the time spent so far, rewritten in place.
class LiveLog {
public:
    // `doing` names the work on the time line ("updating").
    explicit LiveLog(const char* doing);
    ~LiveLog();
    LiveLog(const LiveLog&) = delete;
    LiveLog& operator=(const LiveLog&) = delete;

private:
    typedef std::chrono::steady_clock Clock;

    void Run();
    void ShowNewLines();

    const std::string path_;
    const char* const doing_;
    const Clock::time_point start_;
    std::streamoff offset_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace vcmtool
