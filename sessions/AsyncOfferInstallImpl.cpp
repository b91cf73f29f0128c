#include "sessions/AsyncOfferInstallImpl.h"

#include <exception>

#include <boost/bind/bind.hpp>
#include <boost/thread/lock_guard.hpp>

#include "packages/IFileOperations.h"
#include "packages/IInstallerTempDir.h"
#include "packages/IPackageLauncher.h"
#include "packages/ISyncDownload.h"
#include "packages/PackageDigest.h"
#include "packages/PackageLauncherFactory.h"
#include "packages/VerifyTrust.h"
#include "platform/FileSeal.h"
#include "platform/LastError.h"
#include "sessions/FailureReason.h"
#include "sessions/RunGuard.h"

namespace {

const int32_t kDownloading = 1;
const int32_t kInstalling = 2;
const int32_t kFinished = 3;
const int32_t kFailed = -1;

const char kOfferFailed[] = "Offer: [%s] - Failed with error: %s";

// Deletes the downloaded package when the worker is done with it, however it ends.
class RemovedOnExit {
public:
    RemovedOnExit() : files_(CreateFileOperations()) {}
    ~RemovedOnExit() {
        if (!file.IsEmpty()) {
            files_->RemoveAll(file);
        }
    }
    Url file;

private:
    boost::shared_ptr<IFileOperations> files_;
};

}  // namespace

AsyncOfferInstallImpl::AsyncOfferInstallImpl(const OfferRecord& record,
                                             const boost::shared_ptr<vmi::IEventLog>& log)
    : record_(record), log_(log) {}

AsyncOfferInstallImpl::~AsyncOfferInstallImpl() {
    worker_.Join();
}

bool AsyncOfferInstallImpl::Start() {
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        if (startAsked_) {
            return false;
        }
        startAsked_ = true;
    }
    if (worker_.Start(boost::bind(&AsyncOfferInstallImpl::Work, this))) {
        return true;
    }
    if (log_) {
        log_->WriteError(kOfferFailed, record_.id.c_str(), "no thread could be started for it");
    }
    Fail();
    return false;
}

int32_t AsyncOfferInstallImpl::GetState() {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    return state_;
}

bool AsyncOfferInstallImpl::GetInstallerResult(uint32_t& result) {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    if (!installerRan_) {
        return false;
    }
    result = installerResult_;
    return true;
}

bool AsyncOfferInstallImpl::OnProgress(uint32_t, uint32_t, uint32_t, const std::string&) {
    return true;
}

void AsyncOfferInstallImpl::Fail() {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    state_ = kFailed;
}

void AsyncOfferInstallImpl::Work() {
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        state_ = kDownloading;
    }
    try {
        PackageLauncherFactory launchers;
        boost::shared_ptr<IPackageLauncher> launcher;
        const boost::shared_ptr<IInstallerTempDir> tempDir = GetInstallerTempDir();
        RemovedOnExit package;
        if (launchers.CreateOfferLauncher(launcher, record_, log_) != 0 || !launcher ||
            record_.packageUrl.IsEmpty() || !tempDir || !tempDir->MakeUniquePath(package.file)) {
            Fail();
            return;
        }
        const boost::shared_ptr<ISyncDownload> download = CreateSyncDownload();
        download->SetCallback(this);
        const bool downloaded = download->Download(record_.packageUrl, package.file);
        download->ClearCallback();
        if (!downloaded) {
            if (log_) {
                log_->WriteError(
                    kOfferFailed, record_.id.c_str(),
                    ("Failed to download file: " + FailureReason("the transfer failed")).c_str());
            }
            Fail();
            return;
        }
        const std::string path = package.file.GetPath();
        platform::FileSeal named;
        const DigestCheck digest = CheckPackageDigest(path, record_.packageSha256, named);
        if (digest == DigestCheck::kMismatch || digest == DigestCheck::kInvalid ||
            digest == DigestCheck::kUnreadable) {
            if (log_) {
                log_->WriteError(kOfferFailed, record_.id.c_str(),
                                 digest == DigestCheck::kUnreadable
                                     ? platform::GetLastErrorText().c_str()
                                     : DigestCheckText(digest));
            }
            Fail();
            return;
        }
        VerifyTrust verifier;
        platform::FileSeal seal;
        if (verifier.VerifyAndSeal(path, seal) != 0) {
            if (log_) {
                log_->WriteError(kOfferFailed, record_.id.c_str(),
                                 platform::GetLastErrorText().c_str());
            }
            Fail();
            return;
        }
        if (digest == DigestCheck::kMatches && seal.digest != named.digest) {
            if (log_) {
                log_->WriteError(kOfferFailed, record_.id.c_str(),
                                 DigestCheckText(DigestCheck::kMismatch));
            }
            Fail();
            return;
        }
        {
            boost::lock_guard<boost::recursive_mutex> lock(mutex_);
            state_ = kInstalling;
        }
        // Its installer takes its turn with every other run's: offers download alongside the
        // components, and install one at a time.
        RunGuard guard(log_, RunGuard::kRecordsNothing);
        if (!guard.Begin()) {
            Fail();
            return;
        }
        platform::FileSeal now;
        if (!platform::SealFile(path, now) || now != seal) {
            if (log_) {
                log_->WriteError(kOfferFailed, record_.id.c_str(),
                                 "the package is no longer the file whose signature was checked");
            }
            Fail();
            return;
        }
        // Held to the bytes that were verified.
        OfferRecord run = record_;
        run.packageSha256 = DigestToHex(seal.digest);
        if (launchers.CreateOfferLauncher(launcher, run, log_) != 0 || !launcher) {
            Fail();
            return;
        }
        const uint32_t result = launcher->InstallPackage(path, record_.commandLineArgs, false);
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        installerRan_ = true;
        installerResult_ = result;
    } catch (const std::exception&) {
        Fail();
        return;
    }
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    state_ = kFinished;
}
