#include "packages/FileIO.h"

#include <boost/make_shared.hpp>

#include "platform/InputFile.h"

namespace {

const int kModeRead = 0;

}  // namespace

FileIO::~FileIO() {
    Close();
}

bool FileIO::Open(const std::string& path, int mode) {
    Close();
    if (mode != kModeRead) {
        return false;
    }
    // Shared with other readers and writers (deny none).
    file_ = platform::OpenInputFile(path);
    return file_ != nullptr;
}

bool FileIO::Read(void* buffer, size_t count) {
    if (!file_ || failed_) {
        return false;
    }
    if (std::fread(buffer, 1, count, file_) != count) {
        failed_ = true;  // a short read is a failure
        return false;
    }
    return true;
}

void FileIO::Close() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    failed_ = false;
}

boost::shared_ptr<IFileIO> CreateFileIO() {
    return boost::make_shared<FileIO>();
}
