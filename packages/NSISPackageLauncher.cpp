#include "packages/NSISPackageLauncher.h"

#include <exception>

#include <boost/make_shared.hpp>

#include "engine/Locale.h"
#include "packages/CabFileExtractor.h"
#include "packages/IInstallerTempDir.h"
#include "packages/Redirector.h"
#include "platform/CommandLine.h"
#include "platform/LastError.h"
#include "platform/Process.h"
#include "platform/TempFile.h"
#include "settings/InstallerSettingsImpl.h"
#include "settings/KeyName.h"

namespace {

// The outcome of a program that could not be started or watched to its end.
const int32_t kLaunchFailed = -1;

const uint32_t kInstalled = 0;
const uint32_t kInstallFailed = 9;
const uint32_t kUninstallFailed = 10;
const uint32_t kAborted = 12;
const uint32_t kRestartRequired = 13;

// The private folder a cabinet's program is unpacked into.
const char kRunFolderPrefix[] = "vomo-run-";

// A "file" Url for `path`, when the Url keeps the path exactly (a "?" or "#" in it, or bytes
// that are not UTF-8, would not be).
bool ToFileUrl(const std::string& path, Url& url) {
    try {
        url = Url::FromPath(path);
        return url.GetPath() == path;
    } catch (const std::exception&) {
        return false;
    }
}

// Records why a program's run did not succeed as the thread's last error, so that the caller's
// failure line names it: `program` ("the installer", "the uninstaller") and its exit code.
void RecordOutcome(const char* program, int32_t exitCode) {
    const std::string name = program;
    if (exitCode == kLaunchFailed) {
        if (platform::GetLastErrorText().empty()) {
            platform::SetLastError(static_cast<uint32_t>(-1), name + " could not be run");
        }
        return;
    }
    const int32_t signal = exitCode - platform::kSignalExitBase;
    if (signal > 0 && signal < 64) {
        platform::SetLastError(static_cast<uint32_t>(exitCode),
                               name + " was ended by signal " + std::to_string(signal));
    } else if (exitCode == 1 || exitCode == 2) {
        platform::SetLastError(
            static_cast<uint32_t>(exitCode),
            name + " reported that it was aborted (exit code " + std::to_string(exitCode) + ")");
    } else {
        platform::SetLastError(static_cast<uint32_t>(exitCode),
                               name + " failed with exit code " + std::to_string(exitCode));
    }
}

std::string FileName(const std::string& path) {
    const std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

NSISPackageLauncher::NSISPackageLauncher(const std::string& componentId,
                                         const std::string& installDir,
                                         const boost::shared_ptr<vmi::IEventLog>& log,
                                         const boost::shared_ptr<IRedirector>& redirector,
                                         const boost::shared_ptr<IRedirector>& elevatedRedirector)
    : redirector_(redirector ? redirector : boost::make_shared<Redirector>(false)),
      elevatedRedirector_(elevatedRedirector ? elevatedRedirector
                                             : boost::make_shared<Redirector>(true)),
      settings_(boost::make_shared<InstallerSettingsImpl>()),
      operations_(CreateFileOperations()),
      componentId_(componentId),
      installDir_(installDir),
      log_(log) {}

uint32_t NSISPackageLauncher::InstallPackage(const std::string& package,
                                             const std::string& extraArguments, bool elevate) {
    std::string arguments = "/DIR=\"" + platform::EscapeForQuotes(installDir_) +
                            "\" /LOCALE=" + vmi::Locale::CurrentCode();
    if (!extraArguments.empty()) {
        arguments += " " + extraArguments;
    }
    if (log_) {
        log_->WriteInfo("INFO: NSISPackageLauncher::InstallPackage for %s args - %s\n",
                        package.c_str(), extraArguments.c_str());
    }
    platform::ClearLastError();
    const int32_t exitCode = Launch(package, arguments, elevate);
    if (exitCode != 0 && exitCode != 4) {
        RecordOutcome("the installer", exitCode);
    }
    const char* line;
    uint32_t result;
    switch (exitCode) {
        case 0:
            result = kInstalled;
            line = "INFO: NSISPackageLauncher::InstallPackage for %s args - %s SUCCEEDED\n";
            break;
        case 1:
        case 2:
            result = kAborted;
            line = "INFO: NSISPackageLauncher::InstallPackage for %s args - %s FAILED(Abort)\n";
            break;
        case 4:
            result = kRestartRequired;
            line = "INFO: NSISPackageLauncher::InstallPackage for %s args - %s SUCCEEDED(Reboot)\n";
            break;
        default:
            result = kInstallFailed;
            line =
                "INFO: NSISPackageLauncher::InstallPackage for %s args - %s "
                "FAILED(InstallFAilure)\n";
            break;
    }
    if (log_) {
        log_->WriteInfo(line, package.c_str(), extraArguments.c_str());
    }
    return result;
}

uint32_t NSISPackageLauncher::UninstallPackage() {
    std::string installDir;
    std::string uninstaller;
    if (!vmds::IsPlainKeyName(componentId_) ||
        !settings_->GetString(componentId_, "InstallDir", installDir) || installDir.empty() ||
        !settings_->GetString(componentId_, "UninstallPath", uninstaller) || uninstaller.empty()) {
        platform::SetLastError(2, "the component has no \"InstallDir\" or no \"UninstallPath\"");
        return kUninstallFailed;
    }
    // The uninstaller runs from a copy, so that it may delete its own file.
    Url copy;
    if (!GetInstallerTempDir()->MakeUniquePath(copy)) {
        return kUninstallFailed;
    }
    if (!operations_->CopyFile(uninstaller, copy.GetPath())) {
        operations_->RemoveAll(copy);
        return kUninstallFailed;
    }
    int32_t exitCode = kLaunchFailed;
    platform::ClearLastError();
    if (platform::MakeProgramFile(copy.GetPath())) {
        exitCode = Launch(copy.GetPath(), " /UNINSTALL _?=" + installDir, false);
    }
    if (exitCode != 0 && exitCode != 4) {
        RecordOutcome("the uninstaller", exitCode);
    }
    operations_->RemoveAll(copy);
    switch (exitCode) {
        case 0:
            return kInstalled;
        case 1:
        case 2:
            return kAborted;
        case 4:
            return kRestartRequired;
        default:
            return kUninstallFailed;
    }
}

int32_t NSISPackageLauncher::Launch(const std::string& file, const std::string& arguments,
                                    bool elevate) {
    IRedirector& redirector = elevate ? *elevatedRedirector_ : *redirector_;
    int32_t exitCode = kLaunchFailed;
    Url source;
    CabFileExtractor cabinets;
    if (!ToFileUrl(file, source) || !cabinets.CanExtract(source)) {
        return redirector.Run(arguments, file, exitCode) ? exitCode : kLaunchFailed;
    }
    std::string folder;
    Url folderUrl;
    Url program;
    if (!platform::MakePrivateDirectory(kRunFolderPrefix, folder)) {
        return kLaunchFailed;
    }
    if (!ToFileUrl(folder, folderUrl)) {
        platform::RemovePrivateDirectory(folder);  // still empty
        return kLaunchFailed;
    }
    if (!ToFileUrl(folder + "/" + FileName(file), program) || !cabinets.Extract(source, program) ||
        !platform::MakeProgramFile(program.GetPath()) ||
        !redirector.Run(arguments, program.GetPath(), exitCode)) {
        exitCode = kLaunchFailed;
    }
    platform::RemovePrivateDirectory(folder);
    return exitCode;
}
