// OutputLines: an installer's output, read in chunks as it comes, turned into lines of the
// install log.
//
// The chunks are joined and cut at each newline; every line is handed on with a prefix (the
// component's id and ": "), without its newline and without a carriage return before it. A line
// longer than kMaxOutputLineBytes is cut into pieces of at most that many bytes (not in the
// middle of a UTF-8 character), so that a program that never ends a line cannot make the
// launcher hold its output without bound. Finish hands on a last line that no newline ended.
//
// Lines are handed on in batches: each Add passes every line it completed in one call, each
// line ending in a newline. Add and Finish may be called from different threads; calls are
// serialised, and the sink is called under that lock, so lines keep their order.
#pragma once

#include <cstddef>
#include <string>

#include <boost/function.hpp>
#include <boost/thread/mutex.hpp>

const size_t kMaxOutputLineBytes = 4096;

class OutputLines {
public:
    typedef boost::function<void(const std::string& lines)> LineSink;

    OutputLines(const std::string& prefix, const LineSink& sink);
    OutputLines(const OutputLines&) = delete;
    OutputLines& operator=(const OutputLines&) = delete;

    void Add(const char* data, size_t size);
    void Finish();

private:
    // Moves the pending text, up to `end`, into `batch` as one line; `ended`: a newline or the
    // end of the output ended it (a carriage return before that end is dropped).
    void TakeLine(size_t end, bool ended, std::string& batch);

    const std::string prefix_;
    const LineSink sink_;
    boost::mutex mutex_;
    std::string pending_;
};
