// The command line and the exit codes of vcm-elevate, the helper program through which a
// process without root rights runs an installer package as root (tools/vcm-elevate), shared by
// the helper and the package launcher that starts it (ElevatedLaunch.h).
//
//   vcm-elevate --component ID --package PATH [--sha256 HEX] [--arguments TEXT]
//
// PATH is the package as the user's process holds it (a cabinet holding the installer, or the
// installer itself), HEX the 64 hexadecimal digits of the SHA-256 it must have, TEXT the
// installer's argument text (a Windows command line, platform/CommandLine.h).
//
// Exit status: the installer's own exit code, or 128 plus the signal that killed it, except
// for the codes below, which the helper keeps for itself. pkexec answers 126 and 127 itself when
// it ran nothing. An installer that exits with one of 120 to 127 is reported as
// kInstallerUsedReservedCode, so that its code is never mistaken for the helper's or pkexec's
// word.
#pragma once

namespace elevation {

const char kComponentOption[] = "--component";
const char kPackageOption[] = "--package";
const char kSha256Option[] = "--sha256";
const char kArgumentsOption[] = "--arguments";

const int kUsage = 120;             // wrong arguments, or not started as root
const int kCopyFailed = 121;        // the package could not be copied where only root writes
const int kSignatureRefused = 122;  // the copy's signature or signer is refused
const int kDigestMismatch = 123;    // the copy is not the file named by its SHA-256
const int kCannotRun = 124;         // the installer could not be unpacked or started, or the
                                    // helper was stopped by a signal
const int kInstallerUsedReservedCode = 125;  // the installer exited with 120 to 127
const int kFirstReserved = 120;
const int kLastReserved = 127;

}  // namespace elevation
