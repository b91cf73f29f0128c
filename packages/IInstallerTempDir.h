#pragma once

#include <boost/shared_ptr.hpp>

#include "api/Url.h"

// Unique temporary names ("vomo" and four lower-case hexadecimal digits) in a base directory,
// or in the system temporary directory when the base directory is empty.
class IInstallerTempDir {
public:
    virtual ~IInstallerTempDir() = default;
    virtual bool MakeUniquePath(Url& path) = 0;
    // Empties the base directory (nothing to do without one).
    virtual bool Recreate() = 0;
};

// The one process-wide instance (empty base directory), made on first use.
boost::shared_ptr<IInstallerTempDir> GetInstallerTempDir();
