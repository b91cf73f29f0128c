// NSISPackageLauncher: the IPackageLauncher of nsis packages, self-extracting installer
// programs driven by command-line switches.
//
// Running a package: a package file that is a cabinet ("MSCF") holds the installer program as
// its member; the member is extracted into a new private folder (only this user may enter it),
// made executable and run from there, and the folder is removed afterwards. Any other package
// file is run as it is. Programs run hidden through a redirector; their output goes to the
// event log, line by line, as info lines "<component id>: <text>" (OutputLines.h), never to the
// host's standard output. Either way the launcher waits for the program and reads its exit code
// (an elevated run's too).
//
// Elevation: a process with root rights runs the package as above. Any other process runs it
// through pkexec and the library's own helper (ElevatedLaunch.h), which copies the package
// where only root can write and checks it there before anything runs; the expected digest
// (ExpectPackageDigest) is what the helper's copy must have. Where no helper exists (Windows),
// the program is started elevated by the system and held and checked against the digest
// from before the system's elevation opens it until it ends (platform/Process.h); a package that
// is a cabinet is unpacked in the user's folder first, and only the unpacked program is held
// and checked from its unpacking on, so Windows packages are best the signed installer
// programs themselves.
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
// arguments. Uninstalling writes no lines of its own.
#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "engine/IEventLog.h"
#include "packages/IFileOperations.h"
#include "packages/IPackageLauncher.h"
#include "packages/IRedirector.h"
#include "packages/OutputLines.h"
#include "settings/IInstallerSettings.h"

class NSISPackageLauncher : public IPackageLauncher {
public:
    // `componentId` names the component's key in the install area (for an offer, the offer's
    // id); `log` may be null. Without redirectors the launcher makes its own, a hidden one and
    // an elevated one, whose output goes to `log` as lines prefixed with the id; given
    // redirectors keep their own sinks.
    NSISPackageLauncher(
        const std::string& componentId, const std::string& installDir,
        const boost::shared_ptr<vmi::IEventLog>& log,
        const boost::shared_ptr<IRedirector>& redirector = boost::shared_ptr<IRedirector>(),
        const boost::shared_ptr<IRedirector>& elevatedRedirector =
            boost::shared_ptr<IRedirector>());

    uint32_t InstallPackage(const std::string& package, const std::string& extraArguments,
                            bool elevate) override;
    uint32_t UninstallPackage() override;

    // The SHA-256 (64 hexadecimal digits) of the package file the caller verified: what the file
    // run elevated must still be. Empty: the signature checks alone decide.
    void ExpectPackageDigest(const std::string& sha256Hex) { packageSha256_ = sha256Hex; }

private:
    // Runs the package file `file` (see above); its exit code, kLaunchFailed or kLaunchRefused
    // (ElevatedLaunch.h).
    int32_t Launch(const std::string& file, const std::string& arguments, bool elevate);
    int32_t LaunchHere(const std::string& file, const std::string& arguments, bool elevate);

    boost::shared_ptr<IRedirector> redirector_;
    boost::shared_ptr<IRedirector> elevatedRedirector_;
    boost::shared_ptr<IInstallerSettings> settings_;
    boost::shared_ptr<IFileOperations> operations_;
    std::string componentId_;
    std::string installDir_;
    boost::shared_ptr<vmi::IEventLog> log_;
    boost::shared_ptr<OutputLines> lines_;  // the output of the launcher's own redirectors
    std::string packageSha256_;
};
