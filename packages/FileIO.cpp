#include "packages/FileIO.h"

#include <boost/make_shared.hpp>

namespace {

const int kModeRead = 0;

}  // namespace

bool FileIO::Open(const std::string& path, int mode) {
    Close();
    if (mode != kModeRead) {
        return false;
    }
    stream_.open(path.c_str(), std::ios::in | std::ios::binary);
    return stream_.is_open() && stream_.good();
}

bool FileIO::Read(void* buffer, size_t count) {
    if (!stream_.is_open()) {
        return false;
    }
    stream_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return !stream_.fail();  // a short read sets the failure bit
}

void FileIO::Close() {
    if (stream_.is_open()) {
        stream_.close();
    }
    stream_.clear();
}

boost::shared_ptr<IFileIO> CreateFileIO() {
    return boost::make_shared<FileIO>();
}
