// Redirector: the IRedirector of the package launcher.
//
// A run starts the program (platform/Process.h: empty standard input, standard output and
// standard error through one pipe, a process group of its own) and a reader thread, and waits
// for the reader. The reader copies the output, in order, in chunks of at most 255 bytes, to
// the output sink; without one the output is read and dropped (never written to the host's
// standard output: the package launcher gives a sink that turns it into install-log lines,
// OutputLines.h). Between
// copies it waits up to 100 ms at a time for the child's end or a stop. Once the child has
// ended, the reader copies what the child left in the pipe and stops: a program the child
// started that keeps the pipe open does not hold the run up. A child that closes its output
// early is still waited for.
//
// Destroying a redirector while Run blocks on another thread stops the run: the reader ends
// the child and the programs of its process group (asked to terminate, killed 2 s later) and
// collects the child, and Run answers false. An unattended installer would otherwise run on
// with nobody to read its output or collect it. When the reader does not end within 5 s (an
// output sink that blocks), it is left to finish on its own; it owns what it uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include "packages/IRedirector.h"

class Redirector : public IRedirector {
public:
    // Receives the child's output on the reader thread, a chunk of at most 255 bytes at a time.
    typedef boost::function<void(const char* data, size_t size)> OutputSink;

    // `elevated`: programs run with administrator rights (platform/Process.h). Without a sink
    // the output is dropped.
    explicit Redirector(bool elevated = false, const OutputSink& sink = OutputSink());
    ~Redirector() override;
    Redirector(const Redirector&) = delete;
    Redirector& operator=(const Redirector&) = delete;

    bool Run(const std::string& arguments, const std::string& program, int32_t& exitCode) override;
    bool RunChecked(const std::string& arguments, const std::string& program,
                    const std::string& sha256, int32_t& exitCode) override;

    struct Watch;  // one run: the child, the reader's state and its outcome

private:
    const bool elevated_;
    const OutputSink sink_;

    boost::mutex mutex_;  // guards the three below
    boost::condition_variable idle_;
    boost::shared_ptr<Watch> current_;
    bool running_ = false;
    bool closing_ = false;
};
