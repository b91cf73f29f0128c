#include <fstream>
#include <sstream>

#include <boost/filesystem.hpp>

#include "platform/TempFile.h"
#include "support/TempDir.h"

// The test helpers every platform shares (TempDir.cpp and its Windows sibling hold the rest).

namespace testsupport {

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

std::vector<std::string> FilesBelow(const std::string& dir) {
    std::vector<std::string> files;
    boost::system::error_code error;
    boost::filesystem::recursive_directory_iterator it(dir, error), end;
    for (; !error && it != end; it.increment(error)) {
        if (it->symlink_status(error).type() != boost::filesystem::directory_file &&
            it->path().filename() != platform::kPrivateDirectoryMark) {
            files.push_back(it->path().string());
        }
    }
    return files;
}

size_t CountFilesBelow(const std::string& dir) {
    return FilesBelow(dir).size();
}

}  // namespace testsupport
