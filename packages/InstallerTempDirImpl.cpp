#include "packages/InstallerTempDirImpl.h"

#include <exception>

#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "platform/TempFile.h"

namespace {

// The private folder's name: this prefix and six random characters.
const char kFolderPrefix[] = "vomo-";

}  // namespace

InstallerTempDirImpl::InstallerTempDirImpl(const boost::shared_ptr<IFileOperations>& operations,
                                           const Url& baseDirectory)
    : operations_(operations ? operations : CreateFileOperations()),
      baseDirectory_(baseDirectory) {}

InstallerTempDirImpl::InstallerTempDirImpl(PrivateFolder,
                                           const boost::shared_ptr<IFileOperations>& operations)
    : operations_(operations ? operations : CreateFileOperations()), usePrivateFolder_(true) {}

InstallerTempDirImpl::~InstallerTempDirImpl() {
    if (!baseDirectory_.IsEmpty()) {
        operations_->RemoveAll(baseDirectory_);
    }
    for (const std::string& folder : folders_) {
        platform::RemovePrivateDirectory(folder);
    }
}

bool InstallerTempDirImpl::MakeUniquePath(Url& path) {
    if (!usePrivateFolder_) {
        return operations_->MakeUniquePath(baseDirectory_, path);
    }
    Url folder;
    return CurrentPrivateFolder(folder) && operations_->MakeUniquePath(folder, path);
}

bool InstallerTempDirImpl::CurrentPrivateFolder(Url& folder) {
    boost::lock_guard<boost::mutex> lock(mutex_);
    std::string parent;
    if (!platform::GetTempDirectory(parent)) {
        return false;
    }
    try {
        // A "file" Url ends its path at a "?": names in such a folder could not be handed out.
        if (Url::FromPath(parent).GetPath() != parent) {
            return false;
        }
        if (folder_.empty() || parent != folderParent_ || !platform::IsPrivateDirectory(folder_)) {
            std::string made;
            if (!platform::MakePrivateDirectory(kFolderPrefix, made)) {
                return false;
            }
            folders_.push_back(made);
            folder_ = made;
            folderParent_ = parent;
        }
        folder = Url::FromPath(folder_);
        return true;
    } catch (const std::exception&) {
        return false;  // a path that is not UTF-8, or no memory
    }
}

bool InstallerTempDirImpl::Recreate() {
    if (baseDirectory_.IsEmpty()) {
        return true;
    }
    return operations_->Recreate(baseDirectory_);
}

boost::shared_ptr<IInstallerTempDir> GetInstallerTempDir() {
    // Made on first use (thread-safe), kept until the library unloads, when its private folders
    // are removed with whatever is left in them.
    static const boost::shared_ptr<IInstallerTempDir> instance =
        boost::make_shared<InstallerTempDirImpl>(InstallerTempDirImpl::PrivateFolder());
    return instance;
}
