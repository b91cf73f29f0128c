// FileOperations: unique names, directory and file management over Boost.Filesystem and the
// platform's tree removal. Nothing throws; file-system errors become false results.
#pragma once

#include "packages/IFileOperations.h"

class FileOperations : public IFileOperations {
public:
    // A name that is already taken (by a file, a folder or a link) is replaced by another; the
    // caller still creates the file exclusively, since the name may be taken meanwhile. False
    // when the system temporary directory is not usable, when the folder's path holds a "?"
    // (a "file" Url would cut it there), or when no free name was found.
    bool MakeUniquePath(const Url& base, Url& path) override;
    // A symbolic link is removed as a link; what it points to is never touched, even when one is
    // swapped in for a folder during the walk. A folder whose entries cannot be listed, or a
    // path whose state cannot be read, gives false.
    bool RemoveAll(const Url& path) override;
    bool CreateDirectory(const Url& path) override;
    bool Recreate(const Url& path) override;
    bool CopyFile(const Url& source, const Url& destination) override;
    bool CopyFile(const std::string& source, const std::string& destination) override;
};
