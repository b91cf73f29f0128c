#include "platform/RunLock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Interrupt.h"
#include "platform/RunLockFile.h"

namespace platform {

namespace {

typedef std::chrono::steady_clock Clock;

std::atomic<uint32_t> waitOverrideMilliseconds(0);

std::chrono::milliseconds WaitLimit() {
    return std::chrono::milliseconds(RunLockWaitMilliseconds());
}

// The process's own turn: a file lock taken twice through two opens of one process does not
// exclude itself, so the objects of one process take turns here first.
struct ProcessTurn {
    std::mutex mutex;
    std::condition_variable released;
    bool held = false;
};

ProcessTurn& Turn() {
    // Never destroyed: static objects that end after it may still use it.
    static ProcessTurn* const turn = new ProcessTurn;
    return *turn;
}

const std::chrono::milliseconds kPoll(kRunLockPollMilliseconds);
// How long a wait goes on before it names a holder whose id cannot be read.
const std::chrono::milliseconds kNameWait(1000);

}  // namespace

RunLock::RunLock() : file_(new RunLockFile) {}

RunLock::~RunLock() {
    Release();
}

RunLock::Outcome RunLock::Take(const std::function<void(uint32_t)>& waiting) {
    if (held_) {
        return Outcome::kTaken;
    }
    const Clock::time_point deadline = Clock::now() + WaitLimit();
    bool told = false;
    const auto tell = [&](uint32_t holder) {
        holder_ = holder;
        if (!told) {
            told = true;
            if (waiting) {
                waiting(holder);
            }
        }
    };

    // First the turn of this process.
    ProcessTurn& turn = Turn();
    {
        std::unique_lock<std::mutex> lock(turn.mutex);
        while (turn.held) {
            if (!told) {
                lock.unlock();
                tell(CurrentProcessId());
                lock.lock();
                continue;
            }
            if (InterruptSignal() != 0) {
                return Outcome::kInterrupted;
            }
            if (Clock::now() >= deadline) {
                return Outcome::kTimedOut;
            }
            turn.released.wait_for(lock, kPoll);
        }
        turn.held = true;
        inProcess_ = true;
    }

    // Then the machine's.
    if (!file_->Open()) {
        Release();
        return Outcome::kFailed;
    }
    const Clock::time_point busySince = Clock::now();
    while (true) {
        switch (file_->TryLock()) {
            case RunLockFile::Attempt::kTaken:
                held_ = true;
                return Outcome::kTaken;
            case RunLockFile::Attempt::kFailed:
                Release();
                return Outcome::kFailed;
            case RunLockFile::Attempt::kBusy:
                break;
        }
        // A holder writes its id just after it took the lock, and clears it just before it
        // lets go: an empty file is named only when it stays empty (a holder that may not
        // write it).
        const uint32_t holder = file_->Holder();
        const Clock::time_point now = Clock::now();
        if (holder != 0 || now >= busySince + kNameWait || now >= deadline) {
            tell(holder);
        }
        if (InterruptSignal() != 0) {
            Release();
            return Outcome::kInterrupted;
        }
        if (Clock::now() >= deadline) {
            Release();
            return Outcome::kTimedOut;
        }
        std::this_thread::sleep_for(kPoll);
    }
}

void RunLock::Release() {
    file_->Close();
    held_ = false;
    if (inProcess_) {
        inProcess_ = false;
        ProcessTurn& turn = Turn();
        {
            std::lock_guard<std::mutex> lock(turn.mutex);
            turn.held = false;
        }
        turn.released.notify_all();
    }
}

uint32_t RunLockWaitMilliseconds() {
    const uint32_t overridden = waitOverrideMilliseconds.load();
    return overridden != 0 ? overridden : kRunLockWaitSeconds * 1000;
}

std::string RunLockPath() {
    return RunLockFilePath();
}

void SetRunLockWaitForTesting(uint32_t milliseconds) {
    waitOverrideMilliseconds.store(milliseconds);
}

}  // namespace platform
