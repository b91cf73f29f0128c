#include "support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <boost/filesystem.hpp>

#include "platform/TempFile.h"

// The Windows side of the test helpers. Shell commands run through the command interpreter;
// tests that need the POSIX tools are left out of the Windows run.

namespace testsupport {

TempDir::TempDir(const std::string& prefix) {
    if (!platform::MakePrivateDirectory(prefix + "-", path_)) {
        throw std::runtime_error("no temporary directory for " + prefix);
    }
}

std::string TempDir::File(const std::string& name) const {
    return path_ + "\\" + name;
}

TempDir::~TempDir() {
    boost::system::error_code ignored;
    // Read-only entries are made writable first, so that everything goes.
    boost::filesystem::recursive_directory_iterator it(path_, ignored), end;
    for (; !ignored && it != end; it.increment(ignored)) {
        boost::filesystem::permissions(
            it->path(), boost::filesystem::owner_all | boost::filesystem::add_perms, ignored);
    }
    boost::filesystem::remove_all(path_, ignored);
}

bool WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    return static_cast<bool>(out);
}

bool ReadFile(const std::string& path, std::string& contents) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    contents = buffer.str();
    return true;
}

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
