#include "support/TestPackages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "support/CodeSigning.h"

namespace testsupport {

std::string ArgumentScript(int exitCode, const std::string& body) {
    return "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n" + body + "\nexit " +
           std::to_string(exitCode) + "\n";
}

std::string MakePackage(const TempDir& dir, const std::string& name, const std::string& script) {
    const std::string work = dir.File(name + ".member");
    const std::string package = dir.File(name);
    if (RunCommand("mkdir -p " + ShellQuote(work)) != 0 ||
        !MakeCabinet(package, {std::make_pair(std::string("setup"), script)}, true, work)) {
        ADD_FAILURE() << "cannot make the package " << package;
        return std::string();
    }
    return package;
}

std::string MakeProgram(const TempDir& dir, const std::string& name, const std::string& script) {
    const std::string path = dir.File(name);
    if (!WriteFile(path, script) || RunCommand("chmod 700 " + ShellQuote(path)) != 0) {
        ADD_FAILURE() << "cannot write the program " << path;
    }
    return path;
}

Redirector::OutputSink CapturedOutput::Sink() {
    return [this](const char* data, size_t size) {
        std::lock_guard<std::mutex> lock(mutex_);
        text_.append(data, size);
        largestChunk_ = std::max(largestChunk_, size);
    };
}

std::string CapturedOutput::Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

size_t CapturedOutput::LargestChunk() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return largestChunk_;
}

void CapturedOutput::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.clear();
    largestChunk_ = 0;
}

bool CapturedOutput::WaitFor(const std::string& text, int seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (Text().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace testsupport
