// InstallerTempDirImpl: unique temporary names in a base directory, or in the system temporary
// directory when the base directory is empty (the process-wide instance).
#pragma once

#include <boost/shared_ptr.hpp>

#include "packages/IFileOperations.h"
#include "packages/IInstallerTempDir.h"

class InstallerTempDirImpl : public IInstallerTempDir {
public:
    // Without file operations the object makes its own.
    explicit InstallerTempDirImpl(
        const boost::shared_ptr<IFileOperations>& operations = boost::shared_ptr<IFileOperations>(),
        const Url& baseDirectory = Url());
    // Removes a non-empty base directory with everything in it.
    ~InstallerTempDirImpl() override;

    bool MakeUniquePath(Url& path) override;
    // With an empty base directory: true, and nothing is touched.
    bool Recreate() override;

private:
    boost::shared_ptr<IFileOperations> operations_;
    Url baseDirectory_;
};
