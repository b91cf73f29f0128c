#include "packages/ElevatedLaunch.h"

#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>

#include "packages/ElevationHelper.h"
#include "platform/CommandLine.h"
#include "platform/LastError.h"
#include "platform/Process.h"

namespace {

#ifdef VCM_ELEVATION_HELPER
const char kBuiltInHelper[] = VCM_ELEVATION_HELPER;
#else
const char kBuiltInHelper[] = "";
#endif

boost::mutex helperMutex;
std::string helperForTests;

// One argument of the helper's command line, quoted so that it comes back whole.
std::string Quoted(const std::string& text) {
    return "\"" + platform::EscapeForQuotes(text) + "\"";
}

int32_t Failed(const std::string& reason) {
    platform::SetLastError(1, reason);
    return kLaunchFailed;
}

int32_t Refused(const std::string& reason) {
    platform::SetLastError(18, reason);
    return kLaunchRefused;
}

}  // namespace

namespace elevation {

std::string HelperPath() {
    boost::lock_guard<boost::mutex> lock(helperMutex);
    return helperForTests.empty() ? std::string(kBuiltInHelper) : helperForTests;
}

void SetHelperPathForTests(const std::string& path) {
    boost::lock_guard<boost::mutex> lock(helperMutex);
    helperForTests = path;
}

}  // namespace elevation

int32_t NoteInstallerExit(int32_t exitCode) {
    // A program killed by a signal answers kSignalExitBase plus its number (platform/Process.h).
    const int32_t signal = exitCode - platform::kSignalExitBase;
    if (signal > 0 && signal < 65) {
        platform::SetLastError(static_cast<uint32_t>(exitCode),
                               "the installer was ended by signal " + std::to_string(signal));
    } else if (exitCode != 0 && exitCode != 4) {
        platform::SetLastError(static_cast<uint32_t>(exitCode),
                               "the installer ended with exit code " + std::to_string(exitCode));
    }
    return exitCode;
}

int32_t LaunchThroughHelper(IRedirector& redirector, const std::string& package,
                            const std::string& componentId, const std::string& sha256Hex,
                            const std::string& arguments) {
    const std::string helper = elevation::HelperPath();
    if (helper.empty()) {
        return Failed("no elevation helper was built into this library");
    }
    // A helper that anyone but root could change would be a program of that user run as root.
    if (!platform::IsSuperUserProgram(helper)) {
        return kLaunchFailed;
    }
    std::string text = std::string(elevation::kComponentOption) + " " + Quoted(componentId) + " " +
                       elevation::kPackageOption + " " + Quoted(package);
    if (!sha256Hex.empty()) {
        text += std::string(" ") + elevation::kSha256Option + " " + Quoted(sha256Hex);
    }
    text += std::string(" ") + elevation::kArgumentsOption + " " + Quoted(arguments);
    int32_t status = 0;
    if (!redirector.Run(text, helper, status)) {
        return kLaunchFailed;  // pkexec missing, refused or cancelled: the last error says so
    }
    switch (status) {
        case elevation::kUsage:
            return Failed("vcm-elevate refused its command line");
        case elevation::kCopyFailed:
            return Failed("vcm-elevate could not copy the package where only root can write");
        case elevation::kSignatureRefused:
            return Refused("vcm-elevate refused the package's signature");
        case elevation::kDigestMismatch:
            return Refused("the package is no longer the file whose signature was checked");
        case elevation::kCannotRun:
            return Failed("vcm-elevate could not run the installer");
        case elevation::kInstallerUsedReservedCode:
            // The installer failed with a code the helper could not pass on (its own line in
            // the log names it): an installer's failure like any unknown code.
            platform::SetLastError(static_cast<uint32_t>(status),
                                   "the installer ended with an exit code vcm-elevate keeps "
                                   "for itself");
            return status;
        default:
            return NoteInstallerExit(status);
    }
}
