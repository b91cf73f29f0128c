// FileIO: reading a file's bytes through one open file.
#pragma once

#include <cstdio>

#include "packages/IFileIO.h"

class FileIO : public IFileIO {
public:
    FileIO() = default;
    ~FileIO() override;
    FileIO(const FileIO&) = delete;
    FileIO& operator=(const FileIO&) = delete;

    bool Open(const std::string& path, int mode) override;
    bool Read(void* buffer, size_t count) override;
    void Close() override;

private:
    std::FILE* file_ = nullptr;
    bool failed_ = false;  // a read came up short: every later read fails too, until Close
};
