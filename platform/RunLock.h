// The machine-wide run lock: one install, update, hot-fix, offer or uninstall run at a time on
// the machine, whichever process or thread starts it, so that two runs never start installers
// at once or write the same component's record in turn.
//
// The lock is an exclusive lock on one file: on POSIX "run.lock" beside the machine hive
// (platform/Registry.h), taken with flock, which the system releases when the process holding
// it ends in any way (SIGKILL included); on Windows "run.lock" in the Vomo folder of the
// machine's program data, locked with LockFileEx, which the system releases likewise. The
// holder writes its process id into the file, so that whoever waits can name it. The file is
// made with its folder when missing (0644 in a 0755 folder on POSIX); a process that may not
// create it but may read it (a user without the right to write the machine's folders) still
// takes the lock, only without writing its id. The lock's descriptor is never inherited by
// the programs a run starts, so that an installer left running cannot hold it.
//
// Two runs of the same process are serialised the same way: a lock object waits while another
// object of the process holds the lock, as it waits for another process.
//
// Take waits, looking again every kRunLockPollMilliseconds, for at most kRunLockWaitSeconds; it
// gives up at once when the process's runs are interrupted (platform/Interrupt.h).
//
// One lock object belongs to one thread at a time; different objects may be used on different
// threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// How long a run waits for another before it gives up: half an hour, longer than any installer
// should take, short enough that an updater that nobody watches notices a run that hangs.
const uint32_t kRunLockWaitSeconds = 30 * 60;
// How often a waiting run looks again.
const uint32_t kRunLockPollMilliseconds = 100;

class RunLockFile;

class RunLock {
public:
    enum class Outcome {
        kTaken,        // this object holds the lock
        kTimedOut,     // another run held it for the whole wait
        kInterrupted,  // the runs of the process were interrupted while it waited
        kFailed,       // the lock file cannot be used (the last error says why)
    };

    RunLock();
    // Releases the lock when this object holds it.
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock, waiting for another holder as said above. When the lock is held by
    // another run, `waiting` (may be empty) is called once while it waits, with the holder's
    // process id as soon as the holder has written it (0 when it cannot be read within a
    // second, or by the end of the wait).
    Outcome Take(const std::function<void(uint32_t holder)>& waiting);
    // Releases the lock; nothing to do when this object does not hold it.
    void Release();

    bool IsHeld() const { return held_; }
    // The process that held the lock when this object last found it busy; 0 when unknown.
    uint32_t Holder() const { return holder_; }

private:
    std::unique_ptr<RunLockFile> file_;
    bool inProcess_ = false;  // this object holds the process's own turn
    bool held_ = false;
    uint32_t holder_ = 0;
};

// The lock file's path.
std::string RunLockPath();

// How long Take waits at most, in milliseconds.
uint32_t RunLockWaitMilliseconds();

// This process's id, as the lock file names its holder.
uint32_t CurrentProcessId();

// Test hook: replaces kRunLockWaitSeconds by `milliseconds` for every later wait of the
// process; 0 restores the product value. Never called by the product.
void SetRunLockWaitForTesting(uint32_t milliseconds);

}  // namespace platform
