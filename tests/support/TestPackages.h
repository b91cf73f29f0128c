// Installer packages for tests, as the launcher receives them on Linux: a shell script, the
// installer program, wrapped as the single member of a cabinet made by gcab.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "packages/Redirector.h"
#include "support/TempDir.h"

namespace testsupport {

// A script that writes each of its arguments as "[argument]" on a line of its own, then runs
// the shell commands `body`, then exits with `exitCode`.
std::string ArgumentScript(int exitCode, const std::string& body = std::string());

// The script as the package `name` in `dir`: a cabinet holding it. Its path; empty (and a
// test failure) when gcab fails.
std::string MakePackage(const TempDir& dir, const std::string& name, const std::string& script);

// The script as the executable file `name` in `dir` (an uninstaller a package left behind).
std::string MakeProgram(const TempDir& dir, const std::string& name, const std::string& script);

// The output a redirector copies, collected from its reader thread.
class CapturedOutput {
public:
    // A sink that appends to this object, which must outlive the redirector.
    Redirector::OutputSink Sink();
    std::string Text() const;
    size_t LargestChunk() const;
    void Clear();
    // Waits until the output holds `text`, for at most `seconds`; true when it does.
    bool WaitFor(const std::string& text, int seconds) const;

private:
    mutable std::mutex mutex_;
    std::string text_;
    size_t largestChunk_ = 0;
};

}  // namespace testsupport
