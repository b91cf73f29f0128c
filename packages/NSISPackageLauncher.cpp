#include "packages/NSISPackageLauncher.h"

#include <exception>

#include <boost/make_shared.hpp>

#include "engine/Locale.h"
#include "packages/CabFileExtractor.h"
#include "packages/ElevatedLaunch.h"
#include "packages/IInstallerTempDir.h"
#include "packages/PackageDigest.h"
#include "packages/Redirector.h"
#include "platform/CommandLine.h"
#include "platform/Elevation.h"
#include "platform/FileSeal.h"
#include "platform/LastError.h"
#include "platform/Process.h"
#include "platform/TempFile.h"
#include "settings/InstallerSettingsImpl.h"
#include "settings/KeyName.h"

namespace {

const uint32_t kInstalled = 0;
const uint32_t kInstallFailed = 9;
const uint32_t kUninstallFailed = 10;
const uint32_t kAborted = 12;
const uint32_t kRestartRequired = 13;
const uint32_t kSignatureRefused = 18;

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

std::string FileName(const std::string& path) {
    const std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The output of the launcher's own redirectors: lines of the event log.
boost::shared_ptr<OutputLines> LinesFor(const std::string& componentId,
                                        const boost::shared_ptr<vmi::IEventLog>& log) {
    return boost::make_shared<OutputLines>(componentId + ": ", [log](const std::string& lines) {
        if (log) {
            log->WriteInfo("%s", lines.c_str());
        }
    });
}

Redirector::OutputSink SinkOf(const boost::shared_ptr<OutputLines>& lines) {
    return [lines](const char* data, size_t size) { lines->Add(data, size); };
}

// The calling thread's last error, kept across writes to the log.
struct KeptError {
    KeptError() : code(platform::GetLastErrorCode()), text(platform::GetLastErrorText()) {}
    void Restore() const { platform::SetLastError(code, text); }
    uint32_t code;
    std::string text;
};

}  // namespace

NSISPackageLauncher::NSISPackageLauncher(const std::string& componentId,
                                         const std::string& installDir,
                                         const boost::shared_ptr<vmi::IEventLog>& log,
                                         const boost::shared_ptr<IRedirector>& redirector,
                                         const boost::shared_ptr<IRedirector>& elevatedRedirector)
    : settings_(boost::make_shared<InstallerSettingsImpl>()),
      operations_(CreateFileOperations()),
      componentId_(componentId),
      installDir_(installDir),
      log_(log),
      lines_(LinesFor(componentId, log)) {
    redirector_ = redirector ? redirector : boost::make_shared<Redirector>(false, SinkOf(lines_));
    elevatedRedirector_ = elevatedRedirector ? elevatedRedirector
                                             : boost::make_shared<Redirector>(true, SinkOf(lines_));
}

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
    const KeptError reason;  // why the run failed, for the caller to word
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
            // A package the elevated side refused is a signature failure, not the installer's.
            result = exitCode == kLaunchRefused ? kSignatureRefused : kInstallFailed;
            line =
                "INFO: NSISPackageLauncher::InstallPackage for %s args - %s "
                "FAILED(InstallFAilure)\n";
            break;
    }
    if (log_) {
        log_->WriteInfo(line, package.c_str(), extraArguments.c_str());
    }
    reason.Restore();
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
    int32_t exitCode;
    if (elevate && platform::ElevationGoesThroughTool() && !elevation::HelperPath().empty()) {
        exitCode = LaunchThroughHelper(*elevatedRedirector_, file, componentId_, packageSha256_,
                                       arguments);
    } else {
        exitCode = LaunchHere(file, arguments, elevate);
    }
    lines_->Finish();  // a last line without its newline
    return exitCode;
}

int32_t NSISPackageLauncher::LaunchHere(const std::string& file, const std::string& arguments,
                                        bool elevate) {
    IRedirector& redirector = elevate ? *elevatedRedirector_ : *redirector_;
    int32_t exitCode = kLaunchFailed;
    std::string expected;
    if (ParseDigestText(packageSha256_, expected) == DigestText::kInvalid) {
        platform::SetLastError(kSignatureRefused, DigestCheckText(DigestCheck::kInvalid));
        return kLaunchRefused;
    }
    Url source;
    CabFileExtractor cabinets;
    if (!ToFileUrl(file, source) || !cabinets.CanExtract(source)) {
        return redirector.RunChecked(arguments, file, expected, exitCode)
                   ? NoteInstallerExit(exitCode)
                   : kLaunchFailed;
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
    // A program the system's elevation starts (it opens the file later) is checked from its
    // unpacking on.
    const bool checkUnpacked = elevate && platform::ElevationGoesThroughTool();
    platform::FileSeal unpacked;
    if (!ToFileUrl(folder + "/" + FileName(file), program) || !cabinets.Extract(source, program) ||
        !platform::MakeProgramFile(program.GetPath()) ||
        (checkUnpacked && !platform::SealFile(program.GetPath(), unpacked)) ||
        !redirector.RunChecked(arguments, program.GetPath(), unpacked.digest, exitCode)) {
        exitCode = kLaunchFailed;
    } else {
        NoteInstallerExit(exitCode);
    }
    platform::RemovePrivateDirectory(folder);
    return exitCode;
}
