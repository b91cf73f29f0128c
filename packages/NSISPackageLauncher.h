// NSISPackageLauncher: the IPackageLauncher of nsis packages, self-extracting installer
// programs driven by command-line switches.
//
// Running a package: a package file that is a cabinet ("MSCF") holds the installer program as
// its member; the member is extracted into a new private folder (only this user may enter it),
// made executable and run from there, and the folder is removed afterwards. Any other package
// file is run as it is. Without elevation the program runs hidden through the redirector, its
// output copied to the host's standard output; with elevation through a redirector whose
// programs get administrator rights. Either way the launcher waits for the program and reads
// its exit code (an elevated run's too).
//
// The install directory is placed between the double quotes of "/DIR=" escaped as the
// command-line rules need (platform/CommandLine.h), so that the installer receives exactly the
// directory, whatever quotes or trailing backslashes it holds, and nothing of it can turn into
// further arguments. The uninstaller's "_?=" argument takes the rest of the text, so it is
// never quoted.
//
// Install lines go to the event log with WriteInfo: "INFO: NSISPackageLauncher::InstallPackage
// for %s args - %s" before the run, and the same followed by SUCCEEDED, SUCCEEDED(Reboot),
// FAILED(Abort) or FAILED(InstallFAilure) after it, with the package file and the extra
// arguments. Uninstalling writes no lines.
#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "engine/IEventLog.h"
#include "packages/IFileOperations.h"
#include "packages/IPackageLauncher.h"
#include "packages/IRedirector.h"
#include "settings/IInstallerSettings.h"

class NSISPackageLauncher : public IPackageLauncher {
public:
    // `componentId` names the component's key in the install area (for an offer, the offer's
    // id); `log` may be null. Without redirectors the launcher makes its own: a hidden one and
    // an elevated one.
    NSISPackageLauncher(
        const std::string& componentId, const std::string& installDir,
        const boost::shared_ptr<vmi::IEventLog>& log,
        const boost::shared_ptr<IRedirector>& redirector = boost::shared_ptr<IRedirector>(),
        const boost::shared_ptr<IRedirector>& elevatedRedirector =
            boost::shared_ptr<IRedirector>());

    uint32_t InstallPackage(const std::string& package, const std::string& extraArguments,
                            bool elevate) override;
    uint32_t UninstallPackage() override;

private:
    // Runs the package file `file` (see above); its exit code, or kLaunchFailed.
    int32_t Launch(const std::string& file, const std::string& arguments, bool elevate);

    boost::shared_ptr<IRedirector> redirector_;
    boost::shared_ptr<IRedirector> elevatedRedirector_;
    boost::shared_ptr<IInstallerSettings> settings_;
    boost::shared_ptr<IFileOperations> operations_;
    std::string componentId_;
    std::string installDir_;
    boost::shared_ptr<vmi::IEventLog> log_;
};
