// The system's side of the run lock (RunLock.h): the lock file, its exclusive lock and the
// holder's process id written in it.
//
// One object belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class RunLockFile {
public:
    enum class Attempt {
        kTaken,   // this object holds the lock now
        kBusy,    // another holder has it
        kFailed,  // the lock cannot be taken (the last error says why)
    };

    RunLockFile() = default;
    // Releases the lock and closes the file.
    ~RunLockFile();
    RunLockFile(const RunLockFile&) = delete;
    RunLockFile& operator=(const RunLockFile&) = delete;

    // Opens the lock file, making it and its folder when missing. False, with the last error
    // recorded, when it can be neither made nor opened.
    bool Open();
    // Tries to take the exclusive lock without waiting; on kTaken writes this process's id
    // into the file when the file may be written.
    Attempt TryLock();
    // The process id the current holder wrote; 0 when none can be read.
    uint32_t Holder();
    // Clears the process id written and releases the lock, closing the file.
    void Close();

private:
    intptr_t handle_ = -1;  // the open file: a descriptor on POSIX, a HANDLE on Windows
    bool writable_ = false;
    bool locked_ = false;
};

// The lock file's path; empty when it cannot be placed.
std::string RunLockFilePath();

}  // namespace platform
