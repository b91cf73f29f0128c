#include "sessions/InstallTransaction.h"

#include <exception>

#include <boost/make_shared.hpp>

#include "engine/EventLogStub.h"
#include "packages/IInstallerTempDir.h"
#include "packages/IPackageLauncher.h"
#include "packages/PackageLauncherFactory.h"
#include "packages/VerifyTrust.h"
#include "registry/IComponentRegistry.h"
#include "settings/SettingsAccessors.h"

namespace {

const uint32_t kSuccess = 0;
const uint32_t kNoTemporaryFile = 7;
const uint32_t kDownloadFailed = 8;
const uint32_t kNoLauncher = 9;
const uint32_t kAborted = 12;
const uint32_t kRestartRequired = 13;
const uint32_t kSignatureFailed = 18;

const char kDownloadHeading[] = "Downloading components --------------------------------------\n";
const char kVerifyHeading[] = "Verifying package signature ------------------------------------\n";
const char kInstallHeading[] = "Installing components --------------------------------------\n";
const char kRule[] = "-------------------------------------------------------------\n\n";
const char kFailedWithError[] = "Component: [%s] - Failed with error: %s";

}  // namespace

InstallTransaction::InstallTransaction(const std::vector<ComponentRecord>& records,
                                       IInstallTransactionCB* observer,
                                       const boost::shared_ptr<vmi::IEventLog>& log)
    : records_(records),
      observer_(observer),
      log_(log ? log : boost::make_shared<EventLogStub>()),
      os_(CreateOSUtilities()),
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
        InstallTransaction transaction(records, observer, log);
        const uint32_t result = transaction.Run();
        rebootRequired = transaction.IsRebootRequired();
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
            log_->WriteError("Failed to download file\n");
            return Close(kDownloadFailed);
        }
        Url file;
        if (!tempDir || !tempDir->MakeUniquePath(file)) {
            log_->WriteError("Create temp file failed with error: %s",
                             os_->GetLastErrorText().c_str());
            return Close(kNoTemporaryFile);
        }
        packages_[index_].file = file;
        if (!download_->Download(record.packageUrl, file)) {
            log_->WriteError("Failed to download file\n");
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
        if (verifier.VerifyAndSeal(package.file.GetPath(), package.seal) != kSuccess) {
            log_->WriteError(kFailedWithError, id, os_->GetLastErrorText().c_str());
            return Close(kSignatureFailed);
        }
        log_->WriteInfo("Component: [%s] - Digital Signature OK\n", id);
    }
    log_->Write(kRule);
    return kSuccess;
}

uint32_t InstallTransaction::InstallStep() {
    log_->Write(kInstallHeading);
    const boost::shared_ptr<IComponentRegistry> registry = CreateComponentRegistry();
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
        if (!record.keepRegistryKey) {
            registry->RemoveComponent(record.id);
        }
        boost::shared_ptr<IPackageLauncher> launcher;
        if (launchers.CreateComponentLauncher(launcher, record, log_) != kSuccess || !launcher) {
            return Close(kNoLauncher);
        }
        const uint32_t result = launcher->InstallPackage(path, record.commandLineArgs, true);
        if (result == kSuccess) {
            log_->WriteInfo("Component: [%s] Install Succeeded\n", id);
        } else if (result == kRestartRequired) {
            log_->WriteInfo("Component: [%s] Install Succeeded (Reboot Required)\n", id);
            rebootRequired_ = true;
        } else if (result == kAborted) {
            log_->WriteError("Component: [%s] - Failed due to installer script error", id);
            return Close(kAborted);
        } else {
            log_->WriteError(kFailedWithError, id, os_->GetLastErrorText().c_str());
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
