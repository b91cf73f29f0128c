// FileIO: reading a file's bytes through one input stream.
#pragma once

#include <fstream>

#include "packages/IFileIO.h"

class FileIO : public IFileIO {
public:
    bool Open(const std::string& path, int mode) override;
    bool Read(void* buffer, size_t count) override;
    void Close() override;

private:
    std::ifstream stream_;
};
