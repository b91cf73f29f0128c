#pragma once

#include <boost/shared_ptr.hpp>

#include "api/Url.h"

// Unique temporary names ("vomo" and four lower-case hexadecimal digits) in a base directory, or
// in the system temporary directory (or a private folder in it) when the base directory is
// empty. Naming creates nothing: the caller creates the file, exclusively.
class IInstallerTempDir {
public:
    virtual ~IInstallerTempDir() = default;
    // True with a name not taken yet in `path`; false leaves `path` as it was.
    virtual bool MakeUniquePath(Url& path) = 0;
    // Empties the base directory (nothing to do without one).
    virtual bool Recreate() = 0;
};

// The one process-wide instance, made on first use: its names lie in a private folder (mode
// 0700) that it makes under the system temporary directory and removes, with whatever is left
// in it, when the library unloads. Its MakeUniquePath may be called from any thread.
boost::shared_ptr<IInstallerTempDir> GetInstallerTempDir();
