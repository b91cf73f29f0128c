#include "support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "platform/TempFile.h"

// The Windows side of the test helpers; the shared ones are in TestFiles.cpp. Shell commands run
// through the command interpreter; tests that need the POSIX tools are left out of the Windows run.

namespace testsupport {

TempDir::TempDir(const std::string& prefix) {
    if (!platform::MakePrivateDirectory(prefix + "-", path_)) {
        throw std::runtime_error("no temporary directory for " + prefix);
    }
}

std::string TempDir::File(const std::string& name) const {
    return path_ + "\\" + name;
}

void OpenForOthers(const std::string&) {}

void SetEnvironment(const std::string& name, const std::string& value) {
    ::_putenv_s(name.c_str(), value.c_str());
}

void UnsetEnvironment(const std::string& name) {
    ::_putenv_s(name.c_str(), "");  // an empty value removes the variable
}

int RunCommand(const std::string& command) {
    std::fflush(nullptr);
    return std::system(command.c_str());
}

int RunCommandOutput(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = ::_popen(command.c_str(), "rb");
    if (!pipe) {
        return -1;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    return ::_pclose(pipe);
}

}  // namespace testsupport
