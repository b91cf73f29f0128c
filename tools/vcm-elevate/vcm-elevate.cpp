// vcm-elevate: runs one installer package of a Vomo component as root, for a process that does
// not have root's rights. pkexec starts it, once an administrator has authenticated:
//
//   vcm-elevate --component ID --package PATH [--sha256 HEX] [--arguments TEXT]
//
// Nothing the calling user can write is run: the package is copied into a folder only root can
// write (mode 0700, below /var/cache or /run); there the copy must have the SHA-256 HEX the
// caller verified, and must carry a signature of an accepted signer, checked by the library's
// own verifier; only then is the installer unpacked from it (a cabinet) or taken as it is and
// run, with an empty standard input, in a process group of its own, its output passed on to
// this program's standard output. The folder is removed afterwards. The exit status is the
// installer's, or one of the codes this program keeps for itself (packages/ElevationHelper.h).
//
// Its own messages go to standard error, one line each, beginning with "vcm-elevate: ": the
// launcher that started it puts them into the install log with the installer's output. A
// reader of its output that goes away does not stop the installer, whose output is then
// dropped. SIGINT, SIGTERM, SIGHUP and SIGQUIT end the installer (asked to terminate, killed
// two seconds later) and the run, and the folder is removed.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "packages/CabFileExtractor.h"
#include "packages/ElevationHelper.h"
#include "packages/PackageDigest.h"
#include "packages/SizeLimits.h"
#include "packages/VerifyTrust.h"
#include "platform/FileSeal.h"
#include "platform/LastError.h"
#include "platform/Process.h"
#include "tools/vcm-elevate/RootFolder.h"

namespace {

const uint32_t kPollMs = 100;
const uint32_t kTerminateGraceMs = 2000;
const size_t kOutputBytes = 4096;

int Say(int code, const std::string& text) {
    std::fprintf(stderr, "vcm-elevate: %s\n", text.c_str());
    std::fflush(stderr);
    return code;
}

// The signals that end a run, blocked so that they wait to be asked for.
sigset_t StopSignals() {
    sigset_t set;
    ::sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        ::sigaddset(&set, signal);
    }
    return set;
}

// True once a stop signal has come (it stays counted).
bool Stopped() {
    static bool stopped = false;
    if (!stopped) {
        const sigset_t set = StopSignals();
        const struct timespec now = {0, 0};
        stopped = ::sigtimedwait(&set, nullptr, &now) > 0;
    }
    return stopped;
}

// Passes output on to standard output; once nobody reads it, drops it.
void PassOn(const char* data, size_t size) {
    static bool reading = true;
    while (reading && size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            reading = false;
            break;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Passes on what the child has written, at most `limit` bytes.
void Drain(platform::ChildProcess& child, size_t limit) {
    char buffer[kOutputBytes];
    size_t copied = 0;
    while (copied < limit) {
        size_t count = 0;
        if (child.ReadOutput(buffer, std::min(sizeof buffer, limit - copied), count) !=
            platform::ChildProcess::Read::kData) {
            return;
        }
        PassOn(buffer, count);
        copied += count;
    }
}

// The installer's run: its exit status for this program, or kCannotRun.
int RunInstaller(const std::string& program, const std::string& arguments) {
    platform::ChildProcess child;
    if (!child.Start(program, arguments, false)) {
        return Say(elevation::kCannotRun,
                   "cannot start the installer: " + platform::GetLastErrorText());
    }
    for (;;) {
        if (Stopped()) {
            child.Terminate(kTerminateGraceMs);
            return Say(elevation::kCannotRun, "stopped by a signal; the installer was ended");
        }
        const platform::ChildProcess::Wake wake = child.Wait(kPollMs);
        if (wake == platform::ChildProcess::Wake::kExited) {
            // Only what the installer left: a program it started may keep the pipe open.
            Drain(child, child.PendingOutput());
            break;
        }
        Drain(child, 64 * 1024);
    }
    int32_t code = 0;
    if (!child.GetExitCode(code)) {
        return Say(elevation::kCannotRun,
                   "the installer's end was not seen: " + platform::GetLastErrorText());
    }
    if (code >= elevation::kFirstReserved && code <= elevation::kLastReserved) {
        return Say(elevation::kInstallerUsedReservedCode,
                   "the installer ended with exit code " + std::to_string(code) +
                       ", which this helper keeps for itself");
    }
    return code;
}

int Usage(const std::string& why) {
    return Say(elevation::kUsage,
               why +
                   "\nusage: vcm-elevate --component ID --package PATH [--sha256 HEX] "
                   "[--arguments TEXT]");
}

}  // namespace

int main(int argc, char** argv) {
    // Output to a reader that went away is dropped; the installer runs to its end regardless.
    ::signal(SIGPIPE, SIG_IGN);
    const sigset_t stops = StopSignals();
    ::sigprocmask(SIG_BLOCK, &stops, nullptr);
    ::umask(077);

    std::map<std::string, std::string> options;
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        if ((name != elevation::kComponentOption && name != elevation::kPackageOption &&
             name != elevation::kSha256Option && name != elevation::kArgumentsOption) ||
            i + 1 >= argc || options.count(name)) {
            return Usage("unexpected argument \"" + name + "\"");
        }
        options[name] = argv[i + 1];
    }
    const std::string component = options[elevation::kComponentOption];
    const std::string package = options[elevation::kPackageOption];
    if (component.empty() || package.empty()) {
        return Usage("the component and the package must be given");
    }
    std::string expected;
    if (ParseDigestText(options[elevation::kSha256Option], expected) == DigestText::kInvalid) {
        return Usage("the SHA-256 is not 64 hexadecimal digits");
    }
    if (::geteuid() != 0) {
        return Usage("runs only as root, started by pkexec");
    }

    elevate::RootFolder folder;
    std::string reason;
    if (!folder.Make(reason)) {
        return Say(elevation::kCopyFailed, reason);
    }
    const std::string copy = folder.Path() + "/package";
    if (!elevate::CopyPackage(package, copy, kPackageMaxBytes, &Stopped, reason)) {
        return Say(elevation::kCopyFailed, reason);
    }
    if (!expected.empty()) {
        platform::FileSeal seal;
        if (!platform::SealFile(copy, seal)) {
            return Say(elevation::kCopyFailed,
                       "cannot read the copy: " + platform::GetLastErrorText());
        }
        if (seal.digest != expected) {
            return Say(elevation::kDigestMismatch,
                       "the package of " + component + " is not the file that was verified");
        }
    }
    VerifyTrust verifier;
    if (verifier.Verify(copy) != 0) {
        return Say(elevation::kSignatureRefused,
                   "the signature of the package of " + component +
                       " is refused: " + platform::GetLastErrorText());
    }

    // Unpacked from a cabinet, or the copy itself when the package is the installer. The
    // folder's own path (mkdtemp's letters and digits) always makes a "file" Url.
    const Url source = Url::FromPath(copy);
    std::string program = copy;
    CabFileExtractor cabinets;
    if (cabinets.CanExtract(source)) {
        program = folder.Path() + "/installer";
        if (!cabinets.Extract(source, Url::FromPath(program))) {
            return Say(elevation::kCannotRun,
                       "cannot unpack the installer: " + platform::GetLastErrorText());
        }
    }
    if (!platform::MakeProgramFile(program)) {
        return Say(elevation::kCannotRun,
                   "cannot make the installer runnable: " + platform::GetLastErrorText());
    }
    return RunInstaller(program, options[elevation::kArgumentsOption]);
}
