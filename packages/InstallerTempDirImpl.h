// InstallerTempDirImpl: unique temporary names in a base directory, or in a private folder of
// its own under the system temporary directory (the process-wide instance).
#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include "packages/IFileOperations.h"
#include "packages/IInstallerTempDir.h"

class InstallerTempDirImpl : public IInstallerTempDir {
public:
    // Chooses the constructor of an instance that names its files in a private folder.
    struct PrivateFolder {};

    // Names in `baseDirectory`, or directly in the system temporary directory when it is empty.
    // Without file operations the object makes its own.
    explicit InstallerTempDirImpl(
        const boost::shared_ptr<IFileOperations>& operations = boost::shared_ptr<IFileOperations>(),
        const Url& baseDirectory = Url());
    // Names in a folder that the object makes under the system temporary directory when it
    // first needs one (mode 0700: no other user can take, see or swap a name in it), and makes
    // anew when the system temporary directory changes or the folder went away. A system
    // temporary directory whose path holds "?" is refused. The base directory stays empty.
    InstallerTempDirImpl(PrivateFolder, const boost::shared_ptr<IFileOperations>& operations =
                                            boost::shared_ptr<IFileOperations>());
    // Removes a non-empty base directory, and every private folder made, with everything in
    // them.
    ~InstallerTempDirImpl() override;

    // May be called from any thread.
    bool MakeUniquePath(Url& path) override;
    // With an empty base directory: true, and nothing is touched.
    bool Recreate() override;

private:
    // The private folder to name files in, made when needed; false when there is none.
    bool CurrentPrivateFolder(Url& folder);

    boost::shared_ptr<IFileOperations> operations_;
    Url baseDirectory_;
    const bool usePrivateFolder_ = false;

    boost::mutex mutex_;                // guards the fields below
    std::string folderParent_;          // the system temporary directory it was made in
    std::string folder_;                // the private folder names go into now
    std::vector<std::string> folders_;  // every private folder made, removed on destruction
};
