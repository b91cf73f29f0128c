#include "tools/vcm/LogView.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "platform/LogFile.h"

namespace vcmtool {

std::streamoff LogSize() {
    std::ifstream in(platform::InstallLogPath(), std::ios::binary | std::ios::ate);
    return in ? static_cast<std::streamoff>(in.tellg()) : 0;
}

std::string LastErrorLine(std::streamoff start) {
    std::ifstream in(platform::InstallLogPath(), std::ios::binary | std::ios::ate);
    if (!in) {
        return std::string();
    }
    if (static_cast<std::streamoff>(in.tellg()) < start) {
        start = 0;
    }
    in.seekg(start);
    const std::string marker = " error ";
    std::string line, last;
    while (std::getline(in, line)) {
        const std::string::size_type at = line.find(marker);
        if (at != std::string::npos && at < 24) {
            last = line.substr(at + marker.size());
        }
    }
    return last;
}

int PrintLog() {
    const std::string path = platform::InstallLogPath();
    bool any = false;
    for (const std::string& file : {path + ".1", path}) {
        std::ifstream in(file, std::ios::binary);
        if (in) {
            any = true;
            std::cout << in.rdbuf();
        }
    }
    if (!any) {
        std::fprintf(stderr, "vcm: no install log at %s\n", path.c_str());
        return 1;
    }
    return 0;
}

LiveLog::LiveLog(const char* doing)
    : path_(platform::InstallLogPath()), doing_(doing), start_(Clock::now()) {
    std::ifstream in(path_, std::ios::binary | std::ios::ate);
    offset_ = in ? static_cast<std::streamoff>(in.tellg()) : 0;
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
    std::ifstream in(path_, std::ios::binary | std::ios::ate);
    if (!in) {
        return;
    }
    const std::streamoff size = in.tellg();
    if (size < offset_) {
        offset_ = 0;  // the log was rotated
    }
    in.seekg(offset_);
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) {
            break;  // a line still being written
        }
        offset_ += static_cast<std::streamoff>(line.size()) + 1;
        std::printf("\r\033[K%s\n", line.c_str());
    }
}

}  // namespace vcmtool
