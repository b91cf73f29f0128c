#include "support/TempDir.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <boost/filesystem.hpp>

namespace testsupport {

TempDir::TempDir(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) {
        throw std::runtime_error("mkdtemp failed for " + pattern);
    }
    path_ = buffer.data();
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

size_t CountFilesBelow(const std::string& dir) {
    size_t count = 0;
    boost::system::error_code error;
    boost::filesystem::recursive_directory_iterator it(dir, error), end;
    for (; !error && it != end; it.increment(error)) {
        if (it->symlink_status(error).type() != boost::filesystem::directory_file) {
            ++count;
        }
    }
    return count;
}

bool InPrivateFolderOf(const std::string& path, const std::string& parent) {
    const boost::filesystem::path folder = boost::filesystem::path(path).parent_path();
    struct stat info;
    return folder.parent_path() == boost::filesystem::path(parent) &&
           ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

int RunCommandOutput(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return -1;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace testsupport
