#pragma once

#include <cstddef>
#include <string>

#include <boost/shared_ptr.hpp>

// Reading a file's bytes.
class IFileIO {
public:
    virtual ~IFileIO() = default;  // closes the file
    // Mode 0 opens `path` for reading; any other mode opens nothing. True when open and good.
    virtual bool Open(const std::string& path, int mode) = 0;
    // Reads exactly `count` bytes; a short read fails.
    virtual bool Read(void* buffer, size_t count) = 0;
    virtual void Close() = 0;
};

boost::shared_ptr<IFileIO> CreateFileIO();
