// vomo-dist: publishes a Vomo distribution without knowing cabinets or Authenticode.
//
//   vomo-dist package PROGRAM -o PKG.cab       wraps an installer program in a cabinet
//   vomo-dist sign FILE --cert C --key K [--timestamp URL]
//                                              signs a cabinet in place (osslsigncode)
//   vomo-dist manifest DIR --cert C --key K [--timestamp URL] [--expires WHEN]
//                          [--packages FOLDER]
//                                              checks, packs and signs DIR/manifest.xml into
//                                              DIR/vomo/setup/manifest.cab; with FOLDER, the
//                                              packages found there get their sha256 first
//   vomo-dist lint MANIFEST [--packages DIR] [--previous URL-or-FILE] [--strict]
//                                              reports what clients would refuse or stumble
//                                              on, each with its line (LintCommand.h)
//   vomo-dist verify FILE [--packages FOLDER]  checks a signed file as the component manager
//                                              does and says what it found; with FOLDER, FILE
//                                              is a manifest cabinet whose packages' sha256
//                                              are checked too
//
// Cabinets are made with gcab and signatures with osslsigncode, both found on PATH when they
// are needed. The certificate file may hold the signer's certificate followed by its
// intermediates. Exit status 0 on success, 1 when the work failed, 2 on a usage error.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "packages/CabFileExtractor.h"
#include "packages/Redirector.h"
#include "packages/VerifyTrust.h"
#include "platform/CommandLine.h"
#include "platform/Environment.h"
#include "platform/LastError.h"
#include "platform/Trust.h"
#include "tools/vomo-dist/LintCommand.h"
#include "tools/vomo-dist/PackageDigests.h"
#include "tools/vomo-dist/WorkFolder.h"
#include "vcm/vcm.h"

namespace fs = boost::filesystem;

namespace {

const int kFailed = 1;
const int kUsage = 2;

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: vomo-dist package PROGRAM -o PKG.cab\n"
                 "       vomo-dist sign FILE --cert CERT --key KEY [--timestamp URL]\n"
                 "       vomo-dist manifest DIR --cert CERT --key KEY [--timestamp URL]\n"
                 "                          [--expires WHEN] [--packages FOLDER]\n"
                 "       vomo-dist lint MANIFEST [--packages DIR] [--previous URL-or-FILE]\n"
                 "                          [--strict]\n"
                 "       vomo-dist verify FILE [--packages FOLDER]\n"
                 "       vomo-dist --version\n"
                 "\n"
                 "  package   wraps an installer program in a cabinet (gcab)\n"
                 "  sign      signs a cabinet in place with Authenticode (osslsigncode); CERT is\n"
                 "            a PEM file with the signer's certificate and its intermediates,\n"
                 "            KEY its private key, URL an RFC 3161 time-stamp server\n"
                 "  manifest  checks DIR/manifest.xml as lint does, refusing on an error, packs\n"
                 "            it into DIR/vomo/setup/manifest.cab and signs it; WHEN (14d, 36h\n"
                 "            or a UTC date and time) is written as the manifest's expiry; with\n"
                 "            --packages, every package whose file (the last part of its url) is\n"
                 "            in FOLDER gets its <sha256> set first, in the copy\n"
                 "            DIR/vomo/setup/manifest.xml that is checked and packed\n"
                 "  lint      reports the manifest's errors and warnings with their lines; DIR\n"
                 "            holds the packages it names, URL-or-FILE the manifest served now\n"
                 "  verify    checks a signed file as the component manager does; trusted roots\n"
                 "            are the system's and those of VOMO_TRUST_ROOTS; with --packages,\n"
                 "            FILE is a manifest cabinet and every package's <sha256> is\n"
                 "            checked against its file in FOLDER\n");
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "vomo-dist: %s\n", message.c_str());
    return kFailed;
}

// The program `name` on PATH, or empty.
std::string FindProgram(const std::string& name) {
    std::string path;
    if (!platform::GetEnvironmentText("PATH", path)) {
        path = "/usr/bin:/bin";
    }
    std::string::size_type start = 0;
    while (start <= path.size()) {
        std::string::size_type end = path.find(':', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const fs::path candidate =
            fs::path(end > start ? path.substr(start, end - start) : ".") / name;
        boost::system::error_code error;
        if (fs::is_regular_file(candidate, error) &&
            (fs::status(candidate, error).permissions() & fs::owner_exe)) {
            return candidate.string();
        }
        start = end + 1;
    }
    return std::string();
}

std::string Quoted(const std::string& text) {
    return "\"" + platform::EscapeForQuotes(text) + "\"";
}

// Runs `tool` (looked up on PATH) with `arguments`; its output goes to standard output.
int RunTool(const std::string& tool, const std::vector<std::string>& arguments,
            const char* package) {
    const std::string program = FindProgram(tool);
    if (program.empty()) {
        return Fail(tool + " is not installed (Debian package " + package + ")");
    }
    std::string text;
    for (const std::string& argument : arguments) {
        text += (text.empty() ? "" : " ") + Quoted(argument);
    }
    // The tool's output is this program's own: it goes to standard output.
    Redirector redirector(false, [](const char* data, size_t size) {
        std::fwrite(data, 1, size, stdout);
        std::fflush(stdout);
    });
    int32_t exitCode = -1;
    if (!redirector.Run(text, program, exitCode)) {
        return Fail("cannot run " + program + ": " + platform::GetLastErrorText());
    }
    if (exitCode != 0) {
        return Fail(tool + " failed (exit " + std::to_string(exitCode) + ")");
    }
    return 0;
}

int Package(const std::string& program, const std::string& cabinet) {
    boost::system::error_code error;
    if (!fs::is_regular_file(program, error)) {
        return Fail(program + " is not a file");
    }
    // The member is stored under the program's own name, without its folders.
    return RunTool("gcab", {"--create", "--nopath", cabinet, program}, "gcab");
}

int Sign(const std::string& file, const std::string& cert, const std::string& key,
         const std::string& timestamp) {
    const std::string signedFile = file + ".signed";
    std::vector<std::string> arguments = {"sign", "-h",  "sha256", "-certs", cert,      "-key",
                                          key,    "-in", file,     "-out",   signedFile};
    if (!timestamp.empty()) {
        arguments.push_back("-ts");
        arguments.push_back(timestamp);
    }
    boost::system::error_code error;
    fs::remove(signedFile, error);
    if (const int failed = RunTool("osslsigncode", arguments, "osslsigncode")) {
        fs::remove(signedFile, error);
        return failed;
    }
    fs::rename(signedFile, file, error);
    if (error) {
        return Fail("cannot replace " + file + ": " + error.message());
    }
    return 0;
}

int Manifest(const std::string& dir, const std::string& cert, const std::string& key,
             const std::string& timestamp, const std::string& expires,
             const std::string& packages) {
    fs::path manifest = fs::path(dir) / "manifest.xml";
    const fs::path target = fs::path(dir) / "vomo" / "setup" / "manifest.cab";
    boost::system::error_code error;
    if (!fs::is_regular_file(manifest, error)) {
        return Fail(manifest.string() + " is not a file");
    }
    fs::create_directories(target.parent_path(), error);
    if (error) {
        return Fail("cannot make " + target.parent_path().string() + ": " + error.message());
    }
    if (!packages.empty()) {
        // The publisher's own file stays as written; the copy with the digests is checked and
        // packed.
        const fs::path filled = target.parent_path() / "manifest.xml";
        std::string why;
        if (!vomodist::FillPackageDigests(manifest.string(), packages, filled.string(), why)) {
            return Fail(why);
        }
        manifest = filled;
    }
    WorkFolder work;
    std::string packed;
    if (const int failed = PrepareManifestForSigning(manifest.string(), expires, work, packed)) {
        return failed;
    }
    fs::remove(target, error);
    if (const int failed = Package(packed, target.string())) {
        return failed;
    }
    if (const int failed = Sign(target.string(), cert, key, timestamp)) {
        fs::remove(target, error);
        return failed;
    }
    std::printf("%s\n", target.string().c_str());
    return 0;
}

// The packages' digests of the manifest in the cabinet `file`, against the files in `packages`.
int VerifyPackages(const std::string& file, const std::string& packages) {
    const fs::path extracted =
        fs::temp_directory_path() / fs::unique_path("vomo-dist-%%%%%%%%.xml");
    CabFileExtractor cabinets(kManifestMaxBytes);
    bool read = false;
    try {
        read = cabinets.CanExtract(Url::FromPath(file)) &&
               cabinets.Extract(Url::FromPath(file), Url::FromPath(extracted.string()));
    } catch (const std::exception&) {
        read = false;  // a path a "file" Url cannot hold
    }
    const int result = read ? vomodist::CheckPackageDigests(extracted.string(), packages)
                            : Fail(file + " is not a manifest cabinet");
    boost::system::error_code ignored;
    fs::remove(extracted, ignored);
    return result;
}

int Verify(const std::string& file) {
    std::string signer;
    const uint32_t status = platform::VerifyFileTrust(file, &signer);
    if (status != platform::kTrustOk) {
        std::printf("%s: refused: %s (0x%08X)\n", file.c_str(), platform::TrustStatusText(status),
                    status);
        const std::string reason = platform::GetLastErrorText();
        if (!reason.empty()) {
            std::printf("  reason: %s\n", reason.c_str());
        }
        return kFailed;
    }
    if (!VerifyTrust::IsAcceptedSigner(signer)) {
        std::printf("%s: refused: signed by \"%s\", which is not an accepted signer\n",
                    file.c_str(), signer.c_str());
        return kFailed;
    }
    std::printf("%s: trusted, signed by \"%s\"\n", file.c_str(), signer.c_str());
    return 0;
}

// The value after option `name` in `args`, removed from them with it; empty when absent.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            if (i + 1 >= args.size()) {
                return false;
            }
            value = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            return true;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        Usage(stdout);
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("vomo-dist %d.%d.%d\n", VCM_VERSION_MAJOR, VCM_VERSION_MINOR,
                    VCM_VERSION_PATCH);
        return 0;
    }
    if (args.empty()) {
        Usage(stderr);
        return kUsage;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "lint") {
        return RunLint(args);
    }
    std::string output, cert, key, timestamp, expires, packages;
    if (!TakeOption(args, "-o", output) || !TakeOption(args, "--cert", cert) ||
        !TakeOption(args, "--key", key) || !TakeOption(args, "--timestamp", timestamp) ||
        !TakeOption(args, "--expires", expires) || !TakeOption(args, "--packages", packages) ||
        (!expires.empty() && command != "manifest")) {
        Usage(stderr);
        return kUsage;
    }
    const bool signing = command == "sign" || command == "manifest";
    if (args.size() != 1 || (command == "package" && output.empty()) ||
        (!packages.empty() && command != "manifest" && command != "verify") ||
        (signing && (cert.empty() || key.empty()))) {
        if (command != "package" && !signing && command != "verify") {
            std::fprintf(stderr, "vomo-dist: unknown command \"%s\"\n", command.c_str());
        }
        Usage(stderr);
        return kUsage;
    }
    if (command == "package") {
        return Package(args[0], output);
    }
    if (command == "sign") {
        return Sign(args[0], cert, key, timestamp);
    }
    if (command == "manifest") {
        return Manifest(args[0], cert, key, timestamp, expires, packages);
    }
    if (command == "verify") {
        const int verified = Verify(args[0]);
        if (verified != 0 || packages.empty()) {
            return verified;
        }
        return VerifyPackages(args[0], packages);
    }
    std::fprintf(stderr, "vomo-dist: unknown command \"%s\"\n", command.c_str());
    Usage(stderr);
    return kUsage;
}
