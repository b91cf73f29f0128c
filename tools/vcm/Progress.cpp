#include "tools/vcm/Progress.h"

#include <sys/stat.h>

#include <cinttypes>

#include "api/ControlCharacters.h"
#include "platform/LogFile.h"

namespace vcmtool {

namespace {

// How often the log is read and the live line redrawn.
const std::chrono::milliseconds kRefresh(200);

const char kComponentLine[] = "Component: [";
const char kInstallingLine[] = "Installing component: [";
const char kVerifyHeading[] = "Verifying package signature";

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "1.2 MiB"
std::string Size(double bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return text;
}

// The kind and text of a log line "2026-12-09T14:03:27Z info  text"; false for another line.
bool SplitLogLine(const std::string& line, std::string& kind, std::string& text) {
    const std::string::size_type space = line.find(' ');
    if (space == std::string::npos || line.size() < space + 7 || line[space + 6] != ' ') {
        return false;
    }
    kind = line.substr(space + 1, 5);
    while (!kind.empty() && kind.back() == ' ') {
        kind.pop_back();
    }
    text = line.substr(space + 7);
    return true;
}

}  // namespace

// ---- the run as the log tells it --------------------------------------------------------------

UpdateWatch::UpdateWatch(const std::vector<std::string>& ids) {
    for (const std::string& id : ids) {
        if (!Find(id)) {
            ComponentProgress component;
            component.id = id;
            components_.push_back(component);
        }
    }
}

ComponentProgress* UpdateWatch::Find(const std::string& id) {
    for (ComponentProgress& component : components_) {
        if (component.id == id) {
            return &component;
        }
    }
    return nullptr;
}

const ComponentProgress* UpdateWatch::Current() const {
    return current_;
}

void UpdateWatch::SetPhase(ComponentProgress& component, const char* phase) {
    if (component.phase != phase) {
        component.phase = phase;
        changed_.push_back(&component);
    }
    current_ = &component;
}

UpdateWatch::Kind UpdateWatch::Read(const std::string& line, ProgressClock::time_point seen) {
    changed_.clear();
    std::string kind, text;
    if (!SplitLogLine(line, kind, text)) {
        return kNothing;
    }
    if (StartsWith(text, kComponentLine) || StartsWith(text, kInstallingLine)) {
        const bool installing = StartsWith(text, kInstallingLine);
        const std::string::size_type open = text.find('[');
        const std::string::size_type close = text.find(']', open);
        ComponentProgress* component =
            close == std::string::npos ? nullptr : Find(text.substr(open + 1, close - open - 1));
        if (!component) {
            return kNothing;
        }
        const std::string rest = close + 2 <= text.size() ? text.substr(close + 2) : "";
        unsigned long long received = 0, total = 0;
        if (installing) {
            SetPhase(*component, "installing");
        } else if (std::sscanf(rest.c_str(), "received %llu of %llu bytes", &received, &total) ==
                   2) {
            component->received = received;
            component->total = total;
            const double seconds = std::chrono::duration<double>(seen - component->started).count();
            component->rate = seconds > 0 ? static_cast<double>(received) / seconds : 0;
            current_ = component;
            return kBytes;
        } else if (kind == "error") {
            SetPhase(*component, "failed");
        } else if (StartsWith(rest, "- Digital Signature OK")) {
            SetPhase(*component, "verified");
        } else if (StartsWith(rest, "Install Succeeded")) {
            SetPhase(*component, "installed");
        } else if (component->phase.empty()) {
            // Its download starts: the one before it has ended.
            for (ComponentProgress& other : components_) {
                if (other.phase == "downloading") {
                    SetPhase(other, "downloaded");
                }
            }
            component->started = seen;
            SetPhase(*component, "downloading");
        } else {
            return kNothing;
        }
        return changed_.empty() ? kNothing : kPhase;
    }
    if (StartsWith(text, kVerifyHeading)) {
        for (ComponentProgress& component : components_) {
            if (component.phase == "downloading" || component.phase == "downloaded") {
                SetPhase(component, "verifying");
            }
        }
        return changed_.empty() ? kNothing : kPhase;
    }
    if (kind == "error") {
        // A failure that names no component ("Failed to download file") is the current one's.
        if (current_ && current_->phase != "failed" && current_->phase != "installed") {
            SetPhase(*current_, "failed");
            return kPhase;
        }
        return kNothing;
    }
    for (const ComponentProgress& component : components_) {
        if (StartsWith(text, component.id + ": ")) {
            output_ = text;
            return kOutput;
        }
    }
    return kNothing;
}

std::string UpdateWatch::Describe(const ComponentProgress& component) {
    std::string text = component.id + " " + (component.phase.empty() ? "waiting" : component.phase);
    if (component.phase == "downloading" && component.received > 0) {
        text += " " + Size(static_cast<double>(component.received));
        if (component.total > 0) {
            text += " of " + Size(static_cast<double>(component.total));
        }
        if (component.rate > 0) {
            text += ", " + Size(component.rate) + "/s";
        }
    }
    return text;
}

// ---- the display ------------------------------------------------------------------------------

UpdateProgress::UpdateProgress(const std::vector<std::string>& ids, bool terminal, bool showOutput,
                               FILE* out, const std::string& logPath)
    : watch_(ids),
      terminal_(terminal),
      showOutput_(showOutput),
      out_(out),
      path_(logPath),
      start_(ProgressClock::now()) {
    struct stat status;
    if (::stat(path_.c_str(), &status) == 0) {
        offset_ = static_cast<std::streamoff>(status.st_size);
        inode_ = status.st_ino;
    }
    thread_ = std::thread(&UpdateProgress::Run, this);
}

UpdateProgress::~UpdateProgress() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    ReadNewLines();
    if (statusShown_) {
        std::fprintf(out_, "\r\033[K");
    }
    std::fflush(out_);
}

void UpdateProgress::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        ReadNewLines();
        if (terminal_) {
            DrawStatus();
        }
        std::fflush(out_);
        wake_.wait_for(lock, kRefresh);
    }
}

void UpdateProgress::ReadNewLines() {
    struct stat status;
    if (::stat(path_.c_str(), &status) != 0) {
        return;
    }
    if (inode_ != 0 && status.st_ino != inode_) {
        // The log was rotated: what it gained before is at the end of the rotated file.
        ReadLines(path_ + ".1", offset_);
        offset_ = 0;
    }
    inode_ = status.st_ino;
    ReadLines(path_, offset_);
}

void UpdateProgress::ReadLines(const std::string& path, std::streamoff& offset) {
    // Read as the writer opens it: never through a link, never anything but a regular file.
    std::string text;
    uint64_t size = 0;
    if (offset < 0 || !platform::ReadLog(path, static_cast<uint64_t>(offset), text, size)) {
        return;
    }
    const ProgressClock::time_point seen = ProgressClock::now();
    std::string::size_type start = 0;
    for (std::string::size_type end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        // A last piece without its newline is a line still being written: read again later.
        const std::string line = text.substr(start, end - start);
        offset += static_cast<std::streamoff>(line.size()) + 1;
        Show(watch_.Read(line, seen));
    }
}

void UpdateProgress::Show(UpdateWatch::Kind kind) {
    const auto above = [this](const std::string& text) {
        std::fprintf(out_, "%s%s\n", statusShown_ ? "\r\033[K" : "",
                     vcm::EscapeControlCharacters(text).c_str());
        statusShown_ = false;
    };
    if (kind == UpdateWatch::kOutput && (showOutput_ || terminal_)) {
        above(watch_.Output());
    } else if (kind == UpdateWatch::kPhase) {
        for (const ComponentProgress* component : watch_.Changed()) {
            // On a terminal the live line shows the phases; a component's end stays above it.
            if (!terminal_ || component->phase == "installed" || component->phase == "failed") {
                above("[" + component->id + "] " + component->phase);
            }
        }
    }
}

void UpdateProgress::DrawStatus() {
    const ComponentProgress* current = watch_.Current();
    const double seconds = std::chrono::duration<double>(ProgressClock::now() - start_).count();
    const std::string what = current && current->phase != "installed" && current->phase != "failed"
                                 ? UpdateWatch::Describe(*current)
                                 : std::string("updating");
    std::fprintf(out_, "\r\033[K  %s... %.1f s", what.c_str(), seconds);
    statusShown_ = true;
}

}  // namespace vcmtool
