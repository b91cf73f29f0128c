#include "sessions/InstallTransaction.h"

#include <exception>

#include <boost/make_shared.hpp>

#include "engine/EventLogStub.h"
#include "packages/IInstallerTempDir.h"
#include "packages/IPackageLauncher.h"
#include "packages/PackageDigest.h"
#include "packages/PackageLauncherFactory.h"
#include "packages/VerifyTrust.h"
#include "platform/Interrupt.h"
#include "platform/LastError.h"
#include "registry/IComponentRegistry.h"
#include "sessions/FailureReason.h"
#include "sessions/RunGuard.h"
#include "settings/SettingsAccessors.h"

namespace {

const uint32_t kSuccess = 0;
const uint32_t kNoTemporaryFile = 7;
const uint32_t kDownloadFailed = 8;
const uint32_t kNoLauncher = 9;
const uint32_t kInstallFailed = 9;
const uint32_t kRunNotStarted = 6;
const uint32_t kAborted = 12;
const uint32_t kRestartRequired = 13;
const uint32_t kSignatureFailed = 18;

const char kDownloadHeading[] = "Downloading components --------------------------------------\n";
const char kVerifyHeading[] = "Verifying package signature ------------------------------------\n";
const char kInstallHeading[] = "Installing components --------------------------------------\n";
const char kRule[] = "-------------------------------------------------------------\n\n";
const char kFailedWithError[] = "Component: [%s] - Failed with error: %s";

// Least time between two notes of a download's bytes in the log.
const std::chrono::seconds kProgressNoteInterval(1);

}  // namespace

InstallTransaction::InstallTransaction(const std::vector<ComponentRecord>& records,
                                       IInstallTransactionCB* observer,
                                       const boost::shared_ptr<vmi::IEventLog>& log)
    : records_(records),
      observer_(observer),
      log_(log ? log : boost::make_shared<EventLogStub>()),
      files_(CreateFileOperations()),
      download_(CreateSyncDownload()) {
    download_->SetCallback(this);
}

InstallTransaction::~InstallTransaction() {
    download_->ClearCallback();
    RemovePackages();
}

uint32_t InstallTransaction::RunOnce(const std::vector<ComponentRecord>& records,
                                     IInstallTransactionCB* observer,
                                     const boost::shared_ptr<vmi::IEventLog>& log,
                                     bool& rebootRequired) {
    rebootRequired = false;
    try {
        RunGuard guard(log, RunGuard::kRecordsResults);
        if (!guard.Begin()) {
            return kRunNotStarted;
        }
        InstallTransaction transaction(records, observer, log);
        uint32_t result = transaction.Run();
        rebootRequired = transaction.IsRebootRequired();
        if (!guard.End() && (result == kSuccess || result == kRestartRequired)) {
            result = kRunNotStarted;  // the registry stopped taking writes meanwhile
        }
        return result;
    } catch (const std::exception&) {
        return 9;  // no memory: nothing more can be done
    }
}

uint32_t InstallTransaction::Run() {
    // Kept per record rather than per id, so that a list naming an id twice downloads, runs
    // and deletes a package of its own for each entry.
    packages_.assign(records_.size(), Package());
    uint32_t result = DownloadStep();
    if (result == kSuccess) {
        result = VerifyStep();
    }
    if (result == kSuccess) {
        result = InstallStep();
        // What the installers and the run recorded outlasts a power loss from here on.
        vmds::FlushInstallArea();
    }
    RemovePackages();
    return result;
}

bool InstallTransaction::OnProgress(uint32_t progress, uint32_t progressMax, uint32_t,
                                    const std::string&) {
    const std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    if (now - progressNoted_ >= kProgressNoteInterval && index_ < records_.size()) {
        progressNoted_ = now;
        log_->WriteDebug("Component: [%s] received %u of %u bytes\n", records_[index_].id.c_str(),
                         progress, progressMax);
    }
    if (!observer_) {
        return true;
    }
    return observer_->OnDownloadProgress(progress, progressMax, static_cast<uint32_t>(index_),
                                         Count(), records_[index_].id);
}

uint32_t InstallTransaction::DownloadStep() {
    log_->Write(kDownloadHeading);
    const boost::shared_ptr<IInstallerTempDir> tempDir = GetInstallerTempDir();
    PackageLauncherFactory launchers;
    for (index_ = 0; index_ < records_.size(); ++index_) {
        const ComponentRecord& record = records_[index_];
        log_->WriteInfo("Component: [%s] %s\n", record.id.c_str(),
                        record.packageUrl.ToString().c_str());
        // A package that nothing could run, or that has no address, fails the run before any
        // installer has been started.
        boost::shared_ptr<IPackageLauncher> launcher;
        if (launchers.CreateComponentLauncher(launcher, record, log_) != kSuccess) {
            log_->WriteError(kFailedWithError, record.id.c_str(),
                             "no installer can run its package type");
            return Close(kNoLauncher);
        }
        if (record.packageUrl.IsEmpty()) {
            log_->WriteError("Failed to download file: %s\n",
                             "the component has no package address");
            return Close(kDownloadFailed);
        }
        Url file;
        platform::ClearLastError();
        if (!tempDir || !tempDir->MakeUniquePath(file)) {
            log_->WriteError("Create temp file failed with error: %s",
                             FailureReason("no temporary name could be made").c_str());
            return Close(kNoTemporaryFile);
        }
        packages_[index_].file = file;
        progressNoted_ = std::chrono::steady_clock::now();
        platform::ClearLastError();
        if (!download_->Download(record.packageUrl, file)) {
            log_->WriteError("Failed to download file: %s\n",
                             FailureReason("the transfer failed").c_str());
            return Close(kDownloadFailed);
        }
        packages_[index_].downloaded = true;
    }
    log_->Write(kRule);
    return kSuccess;
}

uint32_t InstallTransaction::VerifyStep() {
    log_->Write(kVerifyHeading);
    VerifyTrust verifier;
    for (size_t i = 0; i < records_.size(); ++i) {
        Package& package = packages_[i];
        if (!package.downloaded) {
            continue;
        }
        const char* id = records_[i].id.c_str();
        const std::string path = package.file.GetPath();
        // The digest the manifest names comes first: a file that is not the package named is
        // refused before its signature is even read.
        platform::FileSeal named;
        platform::ClearLastError();
        const DigestCheck digest = CheckPackageDigest(path, records_[i].packageSha256, named);
        if (digest == DigestCheck::kMismatch || digest == DigestCheck::kInvalid) {
            log_->WriteError(kFailedWithError, id, DigestCheckText(digest));
            return Close(kSignatureFailed);
        }
        if (digest == DigestCheck::kUnreadable) {
            log_->WriteError(kFailedWithError, id,
                             FailureReason("the package cannot be read").c_str());
            return Close(kSignatureFailed);
        }
        platform::ClearLastError();
        if (verifier.VerifyAndSeal(path, package.seal) != kSuccess) {
            log_->WriteError(kFailedWithError, id,
                             FailureReason("the package's signature was refused").c_str());
            return Close(kSignatureFailed);
        }
        // The bytes whose signature was checked are the bytes the manifest names.
        if (digest == DigestCheck::kMatches && package.seal.digest != named.digest) {
            log_->WriteError(kFailedWithError, id, DigestCheckText(DigestCheck::kMismatch));
            return Close(kSignatureFailed);
        }
        log_->WriteInfo("Component: [%s] - Digital Signature OK\n", id);
    }
    log_->Write(kRule);
    return kSuccess;
}

uint32_t InstallTransaction::InstallStep() {
    log_->Write(kInstallHeading);
    PackageLauncherFactory launchers;
    for (index_ = 0; index_ < records_.size(); ++index_) {
        const ComponentRecord& record = records_[index_];
        const char* id = record.id.c_str();
        if (observer_) {
            observer_->OnInstallStart(static_cast<uint32_t>(index_), Count(), record.id);
        }
        const Package& package = packages_[index_];
        if (!package.downloaded) {
            continue;
        }
        // An interrupted run starts no further installer.
        if (const int signal = platform::InterruptSignal()) {
            log_->WriteError(kFailedWithError, id,
                             ("interrupted by signal " + std::to_string(signal)).c_str());
            return Close(kInstallFailed);
        }
        log_->WriteInfo("Installing component: [%s] version: [%s]\n", id,
                        record.latestVersion.ToString().c_str());
        // Checked before the component's key is touched, so that a refused package leaves
        // the installed component as it was.
        const std::string path = package.file.GetPath();
        platform::FileSeal now;
        if (!platform::SealFile(path, now) || now != package.seal) {
            log_->WriteError(kFailedWithError, id,
                             "the package is no longer the file whose signature was checked");
            return Close(kSignatureFailed);
        }
        // The launcher holds the run to the bytes that were verified (what an elevated run's
        // checking side must find), whether or not the manifest named a digest.
        ComponentRecord run = record;
        run.packageSha256 = DigestToHex(package.seal.digest);
        boost::shared_ptr<IPackageLauncher> launcher;
        if (launchers.CreateComponentLauncher(launcher, run, log_) != kSuccess || !launcher) {
            return Close(kNoLauncher);
        }
        const uint32_t result = launcher->InstallPackage(path, record.commandLineArgs, true);
        if (result == kSuccess) {
            log_->WriteInfo("Component: [%s] Install Succeeded\n", id);
        } else if (result == kRestartRequired) {
            log_->WriteInfo("Component: [%s] Install Succeeded (Reboot Required)\n", id);
            rebootRequired_ = true;
        } else if (result == kAborted && platform::InterruptSignal() == 0) {
            log_->WriteError("Component: [%s] - Failed due to installer script error: %s", id,
                             FailureReason("the installer reported an abort").c_str());
            return Close(kAborted);
        } else {
            log_->WriteError(kFailedWithError, id, FailureReason("the installer failed").c_str());
            return Close(result);
        }
    }
    log_->Write(kRule);
    return kSuccess;
}

uint32_t InstallTransaction::Close(uint32_t result) {
    log_->Write(kRule);
    return result;
}

void InstallTransaction::RemovePackages() {
    for (Package& package : packages_) {
        if (!package.file.IsEmpty()) {
            files_->RemoveAll(package.file);
            package.file = Url();
            package.downloaded = false;
        }
    }
}
