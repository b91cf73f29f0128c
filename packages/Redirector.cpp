#include "packages/Redirector.h"

#include <algorithm>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "platform/Process.h"

namespace {

// The largest piece of output copied at once.
const size_t kChunkBytes = 255;
// How long the reader waits for the child's end or a stop before it looks at the output again.
const uint32_t kPollIntervalMs = 100;
// How much output one look copies at most before the reader checks for the child's end and a
// stop again: a child that writes without pause cannot keep the reader from either.
const size_t kBytesPerLook = 64 * 1024;
// A stopped child is asked to terminate, and killed when it has not ended this much later.
const uint32_t kTerminateGraceMs = 2000;
// How long a stopped run waits for its reader before leaving it to finish on its own.
const uint32_t kReaderGraceMs = 5000;

void Drop(const char*, size_t) {}

}  // namespace

struct Redirector::Watch {
    enum Drained { kMore, kFinished, kFailed };

    explicit Watch(const OutputSink& sink) : sink(sink) {}

    // Copies waiting output to the sink, at most `limit` bytes.
    Drained Drain(size_t limit) {
        char buffer[kChunkBytes];
        size_t copied = 0;
        while (copied < limit) {
            size_t count = 0;
            const size_t capacity = std::min(sizeof buffer, limit - copied);
            switch (child.ReadOutput(buffer, capacity, count)) {
                case platform::ChildProcess::Read::kData:
                    sink(buffer, count);
                    copied += count;
                    break;
                case platform::ChildProcess::Read::kNoData:
                    return kMore;
                case platform::ChildProcess::Read::kEnded:
                    return kFinished;
                case platform::ChildProcess::Read::kFailed:
                    return kFailed;
            }
        }
        return kMore;
    }

    // The reader thread's body.
    void Read() {
        Drained drained = Drain(kBytesPerLook);
        bool ended = false;
        while (true) {
            const platform::ChildProcess::Wake wake = child.Wait(kPollIntervalMs);
            if (wake == platform::ChildProcess::Wake::kExited) {
                // What the child wrote is in the pipe by now; only that much is copied, so
                // that a program it started and that keeps writing cannot hold the run up.
                Drain(child.PendingOutput());
                ended = true;
                break;
            }
            if (wake == platform::ChildProcess::Wake::kInterrupted) {
                break;
            }
            if (drained == kMore) {
                drained = Drain(kBytesPerLook);
            }
        }
        if (!ended) {
            child.Terminate(kTerminateGraceMs);
        }
        boost::lock_guard<boost::mutex> lock(mutex);
        exited = ended;
        finished = true;
        done.notify_all();
    }

    // Any thread: makes the reader end the child and stop.
    void Stop() {
        {
            boost::lock_guard<boost::mutex> lock(mutex);
            stopped = true;
            done.notify_all();
        }
        child.Interrupt();
    }

    const OutputSink sink;
    platform::ChildProcess child;

    boost::mutex mutex;  // guards the fields below
    boost::condition_variable done;
    bool finished = false;
    bool stopped = false;
    bool exited = false;  // the child ended by itself
};

Redirector::Redirector(bool elevated, const OutputSink& sink)
    : elevated_(elevated), sink_(sink ? sink : OutputSink(&Drop)) {}

Redirector::~Redirector() {
    boost::unique_lock<boost::mutex> lock(mutex_);
    closing_ = true;
    if (current_) {
        current_->Stop();
    }
    while (running_) {
        idle_.wait(lock);
    }
}

bool Redirector::Run(const std::string& arguments, const std::string& program, int32_t& exitCode) {
    return RunChecked(arguments, program, std::string(), exitCode);
}

bool Redirector::RunChecked(const std::string& arguments, const std::string& program,
                            const std::string& sha256, int32_t& exitCode) {
    const boost::shared_ptr<Watch> watch = boost::make_shared<Watch>(sink_);
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (running_ || closing_) {
            return false;
        }
        running_ = true;
    }
    bool watched = false;
    if (watch->child.Start(program, arguments, elevated_, sha256)) {
        {
            boost::lock_guard<boost::mutex> lock(mutex_);
            current_ = watch;
            if (closing_) {
                watch->Stop();
            }
        }
        // The reader holds its own share of the watch, so that a reader left behind after a
        // stop still has everything it uses.
        boost::thread reader;
        try {
            reader = boost::thread([watch] { watch->Read(); });
        } catch (const boost::thread_resource_error&) {
            watch->child.Terminate(kTerminateGraceMs);  // nobody would read or collect it
            boost::lock_guard<boost::mutex> lock(watch->mutex);
            watch->finished = true;
        }
        boost::unique_lock<boost::mutex> lock(watch->mutex);
        while (!watch->finished && !watch->stopped) {
            watch->done.wait(lock);
        }
        if (!watch->finished) {
            watch->done.wait_for(lock, boost::chrono::milliseconds(kReaderGraceMs),
                                 [&watch] { return watch->finished; });
        }
        if (watch->finished) {
            const bool exited = watch->exited;
            lock.unlock();
            if (reader.joinable()) {
                reader.join();
            }
            // On this thread, so that a failure's reason is this thread's last error.
            int32_t code = 0;
            watched = exited && watch->child.GetExitCode(code);
            if (watched) {
                exitCode = code;
            }
        } else {
            reader.detach();
        }
    }
    boost::lock_guard<boost::mutex> lock(mutex_);
    current_.reset();
    running_ = false;
    idle_.notify_all();
    return watched;
}
