// IPackageLauncher: runs the installer package of one component (or offer), or the uninstaller
// its package left behind, and maps the program's exit code onto the engine's result codes.
//
// Result codes: 0 installed (or uninstalled); 13 the same, restart required; 12 the installer
// reported that it was aborted; 9 install failed; 10 uninstall failed, or the uninstaller could
// not be prepared; 18 the package was refused before it ran, as a signature failure (an
// elevated run whose checking side found another file than the one verified). On 9 and 18
// the calling thread's last error (platform/LastError.h) says why, when the launcher knows.
//
// Exit codes, install and uninstall alike: 0 gives 0; 1 and 2 give 12; 4 gives 13; 3, any other
// code, a program killed by a signal, and a program that could not be started give 9 when
// installing and 10 when uninstalling.
//
// Both operations block the calling thread until the program has ended; a launcher serves one
// thread at a time.
#pragma once

#include <cstdint>
#include <string>

class IPackageLauncher {
public:
    virtual ~IPackageLauncher() = default;
    // Runs the package file `package` with "/DIR=" and the install directory in double quotes,
    // " /LOCALE=" and the current user-interface locale, and, when `extraArguments` is not
    // empty, a blank and `extraArguments`. With `elevate` the package runs with administrator
    // rights.
    virtual uint32_t InstallPackage(const std::string& package, const std::string& extraArguments,
                                    bool elevate) = 0;
    // Runs a copy of the component's recorded uninstaller ("UninstallPath") with "/UNINSTALL"
    // and "_?=" followed by the recorded "InstallDir", then deletes the copy. 10 before anything
    // runs when either value is missing or the copy cannot be made.
    virtual uint32_t UninstallPackage() = 0;
};
