// The progress of an update run as vcm shows it on standard error. The library's six functions
// tell nothing before a run ends, so vcm reads what the library writes to the install log while
// it works: a component's download ("Component: [id] <address>"), the bytes received so far
// ("Component: [id] received N of M bytes", noted while a download lasts), the signature check,
// the install and its end, and every line of an installer's output ("<id>: <text>").
//
// On a terminal, one line, rewritten in place, shows the component at work: its phase, and while
// it downloads the bytes received of the total and the rate; each component's end is printed on
// a line of its own above it. Without a terminal (a log file, the journal), one line per phase
// change: "[id] downloading", "[id] verified", "[id] installed"... Installers' output is shown
// above the progress line on a terminal, and without one only when asked (--verbose); it never
// goes to standard output, which carries only the ids that scripts read.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <ios>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vcmtool {

typedef std::chrono::steady_clock ProgressClock;

// One component of a run, as the log has told it so far.
struct ComponentProgress {
    std::string id;
    // "", "downloading", "downloaded", "verifying", "verified", "installing", "installed",
    // "failed".
    std::string phase;
    uint64_t received = 0;              // bytes of its package, as last noted
    uint64_t total = 0;                 // 0 while unknown
    ProgressClock::time_point started;  // when its download was seen to start
    double rate = 0;                    // bytes per second; 0 while unknown
};

// Follows the log lines of an update run of `ids`.
class UpdateWatch {
public:
    enum Kind {
        kNothing,  // a line of no concern here
        kPhase,    // components changed their phase: Changed()
        kBytes,    // the current component's bytes: Current()
        kOutput,   // a line of an installer's output: Output()
    };

    explicit UpdateWatch(const std::vector<std::string>& ids);

    // Reads one line of the install log as written (time, kind, text), seen at `seen`.
    Kind Read(const std::string& line, ProgressClock::time_point seen);

    // The component last heard of; null before any.
    const ComponentProgress* Current() const;
    // The components whose phase the last line changed.
    const std::vector<const ComponentProgress*>& Changed() const { return changed_; }
    // The installer's line of the last kOutput, "<id>: <text>".
    const std::string& Output() const { return output_; }

    // "id downloading 1.2 MiB of 5.0 MiB, 310 KiB/s", "id installing".
    static std::string Describe(const ComponentProgress& component);

private:
    ComponentProgress* Find(const std::string& id);
    void SetPhase(ComponentProgress& component, const char* phase);

    std::vector<ComponentProgress> components_;
    ComponentProgress* current_ = nullptr;
    std::vector<const ComponentProgress*> changed_;
    std::string output_;
};

// Shows an update run of `ids` on `out` while the object lives, reading the install log at
// `logPath` from its size at construction. `terminal`: the live line; otherwise one line per
// phase change. `showOutput`: installers' output too. The last lines are read and shown when the
// object is destroyed, after the run.
class UpdateProgress {
public:
    UpdateProgress(const std::vector<std::string>& ids, bool terminal, bool showOutput, FILE* out,
                   const std::string& logPath);
    ~UpdateProgress();
    UpdateProgress(const UpdateProgress&) = delete;
    UpdateProgress& operator=(const UpdateProgress&) = delete;

private:
    void Run();
    // Reads and shows the complete lines the log gained.
    void ReadNewLines();
    void ReadLines(const std::string& path, std::streamoff& offset);
    void Show(UpdateWatch::Kind kind);
    void DrawStatus();

    UpdateWatch watch_;
    const bool terminal_;
    const bool showOutput_;
    FILE* const out_;
    const std::string path_;
    const ProgressClock::time_point start_;
    std::streamoff offset_ = 0;
    ino_t inode_ = 0;
    bool statusShown_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace vcmtool
