#include "packages/InstallerTempDirImpl.h"

#include <boost/make_shared.hpp>

InstallerTempDirImpl::InstallerTempDirImpl(const boost::shared_ptr<IFileOperations>& operations,
                                           const Url& baseDirectory)
    : operations_(operations ? operations : CreateFileOperations()),
      baseDirectory_(baseDirectory) {}

InstallerTempDirImpl::~InstallerTempDirImpl() {
    if (!baseDirectory_.IsEmpty()) {
        operations_->RemoveAll(baseDirectory_);
    }
}

bool InstallerTempDirImpl::MakeUniquePath(Url& path) {
    return operations_->MakeUniquePath(baseDirectory_, path);
}

bool InstallerTempDirImpl::Recreate() {
    if (baseDirectory_.IsEmpty()) {
        return true;
    }
    return operations_->Recreate(baseDirectory_);
}

boost::shared_ptr<IInstallerTempDir> GetInstallerTempDir() {
    // Made on first use (thread-safe), kept until the library unloads.
    static const boost::shared_ptr<IInstallerTempDir> instance =
        boost::make_shared<InstallerTempDirImpl>();
    return instance;
}
