#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "api/Url.h"

// Unique names, directory and file management. Paths are "file" Urls; nothing throws.
class IFileOperations {
public:
    virtual ~IFileOperations() = default;
    // "vomo%%%%" in `base` (or the system temporary directory), each "%" a random lower-case
    // hexadecimal digit; nothing is created on disk. True when the name is not empty.
    virtual bool MakeUniquePath(const Url& base, Url& path) = 0;
    // True when the path no longer exists (read-only files are removed too).
    virtual bool RemoveAll(const Url& path) = 0;
    // One directory level; true when created.
    virtual bool CreateDirectory(const Url& path) = 0;
    // RemoveAll, then CreateDirectory; the result of CreateDirectory.
    virtual bool Recreate(const Url& path) = 0;
    // Copies a file; false when the destination exists.
    virtual bool CopyFile(const Url& source, const Url& destination) = 0;
    // The same with the paths given as texts.
    virtual bool CopyFile(const std::string& source, const std::string& destination) = 0;
};

boost::shared_ptr<IFileOperations> CreateFileOperations();
