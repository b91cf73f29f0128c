#include "packages/OutputLines.h"

#include <cstring>

#include <boost/thread/lock_guard.hpp>

OutputLines::OutputLines(const std::string& prefix, const LineSink& sink)
    : prefix_(prefix), sink_(sink) {}

void OutputLines::TakeLine(size_t end, bool ended, std::string& batch) {
    size_t length = end;
    if (ended && length > 0 && pending_[length - 1] == '\r') {
        --length;
    }
    batch += prefix_;
    batch.append(pending_, 0, length);
    batch += '\n';
    pending_.erase(0, end);
}

void OutputLines::Add(const char* data, size_t size) {
    boost::lock_guard<boost::mutex> lock(mutex_);
    std::string batch;
    while (size > 0) {
        const char* newline = static_cast<const char*>(std::memchr(data, '\n', size));
        const size_t take = newline ? static_cast<size_t>(newline - data) : size;
        pending_.append(data, take);
        while (pending_.size() > kMaxOutputLineBytes) {
            // Cut before a UTF-8 continuation byte's character rather than inside it.
            size_t cut = kMaxOutputLineBytes;
            while (cut > kMaxOutputLineBytes - 3 &&
                   (static_cast<unsigned char>(pending_[cut]) & 0xC0) == 0x80) {
                --cut;
            }
            TakeLine(cut, false, batch);
        }
        if (newline) {
            TakeLine(pending_.size(), true, batch);
            data += take + 1;
            size -= take + 1;
        } else {
            size = 0;
        }
    }
    if (!batch.empty() && sink_) {
        sink_(batch);
    }
}

void OutputLines::Finish() {
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (pending_.empty()) {
        return;
    }
    std::string batch;
    TakeLine(pending_.size(), true, batch);
    if (sink_) {
        sink_(batch);
    }
}
