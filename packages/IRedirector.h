// IRedirector: runs a program hidden, with its combined standard output and standard error
// captured (never written to the host's standard output, which is the host's own data channel),
// and waits for it to end.
//
// Run starts `program` with the argument text `arguments` (a Windows command line without the
// program's own name) and blocks the calling thread until the program has ended. True when the
// program was started and watched to its end; `exitCode` then holds its exit code. False when
// it could not be started (the calling thread's last error says why, see
// platform/LastError.h) or its end was not seen; `exitCode` is left as it is.
//
// RunChecked is the same run of a program file that must have the SHA-256 `sha256` (32 bytes):
// when it has another, nothing starts and the answer is false (platform/Process.h says how the
// file is held unchanged from that check to the start where the system allows it).
//
// One run at a time per redirector; a redirector may run one program after another. Run may be
// called from any thread. An implementation's destructor may be called while Run blocks on
// another thread: the run stops, Run answers false, and the destructor returns once Run has.
#pragma once

#include <cstdint>
#include <string>

class IRedirector {
public:
    virtual ~IRedirector() = default;
    virtual bool Run(const std::string& arguments, const std::string& program,
                     int32_t& exitCode) = 0;
    virtual bool RunChecked(const std::string& arguments, const std::string& program,
                            const std::string& sha256, int32_t& exitCode) = 0;
};
