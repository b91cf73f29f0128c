#include "tools/vcm/LogView.h"

#include <cstdio>
#include <iostream>
#include <limits>

#include "api/ControlCharacters.h"
#include "platform/LogFile.h"

namespace vcmtool {

namespace {

// The log from `offset` on, as the library's reader opens it: never through a link planted
// under its name. False when there is no log to read.
bool ReadFrom(const std::string& path, std::streamoff offset, std::string& text,
              std::streamoff& size) {
    uint64_t bytes = 0;
    const bool read =
        platform::ReadLog(path, static_cast<uint64_t>(offset < 0 ? 0 : offset), text, bytes);
    size = static_cast<std::streamoff>(bytes);
    return read;
}

}  // namespace

std::streamoff LogSize() {
    std::string none;
    std::streamoff size = 0;
    ReadFrom(platform::InstallLogPath(), std::numeric_limits<std::streamoff>::max(), none, size);
    return size;
}

std::string LastErrorLine(std::streamoff start) {
    const std::string path = platform::InstallLogPath();
    std::string text;
    std::streamoff size = 0;
    if (!ReadFrom(path, start, text, size)) {
        return std::string();
    }
    if (size < start && !ReadFrom(path, 0, text, size)) {  // rotated meanwhile
        return std::string();
    }
    const std::string marker = " error ";
    std::string last;
    std::string::size_type begin = 0;
    while (begin < text.size()) {
        std::string::size_type end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(begin, end - begin);
        const std::string::size_type at = line.find(marker);
        if (at != std::string::npos && at < 24) {
            last = line.substr(at + marker.size());
        }
        begin = end + 1;
    }
    return vcm::EscapeControlCharacters(last);
}

int PrintLog() {
    const std::string path = platform::InstallLogPath();
    bool any = false;
    for (const std::string& file : {path + ".1", path}) {
        std::string text;
        std::streamoff size = 0;
        if (ReadFrom(file, 0, text, size)) {
            any = true;
            std::cout << vcm::EscapeControlCharacters(text);
        }
    }
    if (!any) {
        std::fprintf(stderr, "vcm: no install log at %s\n",
                     vcm::EscapeControlCharacters(path).c_str());
        return 1;
    }
    return 0;
}

LiveLog::LiveLog(const char* doing)
    : path_(platform::InstallLogPath()), doing_(doing), start_(Clock::now()) {
    std::string none;
    ReadFrom(path_, std::numeric_limits<std::streamoff>::max(), none, offset_);
    thread_ = std::thread(&LiveLog::Run, this);
}

LiveLog::~LiveLog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    ShowNewLines();
    std::printf("\r\033[K");
    std::fflush(stdout);
}

void LiveLog::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        ShowNewLines();
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        std::printf("\r\033[K  %s... %.1f s", doing_, seconds);
        std::fflush(stdout);
        wake_.wait_for(lock, std::chrono::milliseconds(200));
    }
}

void LiveLog::ShowNewLines() {
    std::string text;
    std::streamoff size = 0;
    if (!ReadFrom(path_, offset_, text, size)) {
        return;
    }
    if (size < offset_) {
        offset_ = 0;  // the log was rotated
        if (!ReadFrom(path_, offset_, text, size)) {
            return;
        }
    }
    // Whole lines only: a line still being written waits for its end.
    std::string::size_type begin = 0;
    std::string::size_type end;
    while ((end = text.find('\n', begin)) != std::string::npos) {
        const std::string line = text.substr(begin, end - begin);
        offset_ += static_cast<std::streamoff>(line.size()) + 1;
        std::printf("\r\033[K%s\n", vcm::EscapeControlCharacters(line).c_str());
        begin = end + 1;
    }
}

}  // namespace vcmtool
