// The checks that look beyond the manifest document: the package files it names, signed and
// matching their digests, and the manifest served now, whose version the new one must pass.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include "api/Url.h"
#include "engine/ManifestDocument.h"
#include "engine/ManifestQuery.h"
#include "engine/Version.h"
#include "packages/CabFileExtractor.h"
#include "packages/ManifestExtractor.h"
#include "packages/SizeLimits.h"
#include "packages/VerifyTrust.h"
#include "platform/Download.h"
#include "platform/FileSeal.h"
#include "platform/LastError.h"
#include "platform/Trust.h"
#include "tools/vomo-dist/LintChecks.h"
#include "tools/vomo-dist/WorkFolder.h"

namespace fs = boost::filesystem;

namespace {

const LintFinding::Severity kError = LintFinding::kError;
const LintFinding::Severity kWarning = LintFinding::kWarning;

void Add(std::vector<LintFinding>& findings, int line, LintFinding::Severity severity,
         const std::string& text) {
    LintFinding finding;
    finding.line = line;
    finding.severity = severity;
    finding.text = text;
    findings.push_back(finding);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const char byte : bytes) {
        const unsigned char b = static_cast<unsigned char>(byte);
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

// Where the package of address `url` lies below `dir`: at the address's path, or by its file
// name. The candidates looked at, for a finding that names none.
bool Locate(const std::string& dir, const std::string& url, std::string& file,
            std::string& looked) {
    std::string path;
    try {
        path = Url(url).GetPath();
    } catch (const std::exception&) {
        return false;
    }
    const fs::path root(dir);
    std::vector<fs::path> candidates;
    if (!path.empty()) {
        candidates.push_back(root / fs::path(path).relative_path());
        candidates.push_back(root / fs::path(path).filename());
    }
    for (const fs::path& candidate : candidates) {
        boost::system::error_code error;
        if (fs::is_regular_file(candidate, error)) {
            file = candidate.string();
            return true;
        }
        looked += (looked.empty() ? "" : " or ") + candidate.string();
    }
    return false;
}

// Why `file` would be refused by clients, or empty when they accept its signature.
std::string SignatureRefusal(const std::string& file) {
    VerifyTrust verifier;
    if (verifier.Verify(file) == 0) {
        return std::string();
    }
    const VerifyTrust::Finding& found = verifier.LastFinding();
    if (found.status != platform::kTrustOk) {
        return std::string(platform::TrustStatusText(found.status)) +
               (found.reason.empty() ? "" : " (" + found.reason + ")");
    }
    return "signed by \"" + found.signer + "\", which is not an accepted signer";
}

// The served manifest's text as a local XML file: downloaded when `previous` is an address,
// extracted when it is a cabinet. Empty, with `why` set, on failure.
std::string ServedManifest(const std::string& previous, const WorkFolder& work, std::string& why) {
    std::string file = previous;
    if (previous.find("://") != std::string::npos) {
        file = work.File("served.cab");
        if (!platform::DownloadUrlToFile(previous, file, kManifestCabinetMaxBytes, nullptr)) {
            why = "cannot download it: " + platform::GetLastErrorText();
            return std::string();
        }
    }
    char magic[4] = {0, 0, 0, 0};
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) {
        why = "cannot read it: " + std::string(std::strerror(errno));
        return std::string();
    }
    const size_t got = std::fread(magic, 1, sizeof magic, in);
    std::fclose(in);
    if (got != sizeof magic || std::string(magic, sizeof magic) != "MSCF") {
        return file;  // the XML itself
    }
    const std::string extracted = work.File("served.xml");
    ManifestExtractor extractor(boost::make_shared<CabFileExtractor>(kManifestMaxBytes));
    if (!extractor.Extract(Url::FromPath(file), Url::FromPath(extracted))) {
        why = "cannot extract the manifest from its cabinet";
        return std::string();
    }
    return extracted;
}

}  // namespace

void LintPackageFiles(const std::vector<LintPackage>& packages, const std::string& dir,
                      std::vector<LintFinding>& findings) {
    for (const LintPackage& package : packages) {
        std::string file, looked;
        if (!Locate(dir, package.url, file, looked)) {
            Add(findings, package.line, kWarning,
                package.owner + ": its package is not in " + dir +
                    (looked.empty() ? std::string() : " (looked for " + looked + ")"));
            continue;
        }
        const std::string refusal = SignatureRefusal(file);
        if (!refusal.empty()) {
            Add(findings, package.line, kError,
                package.owner + ": clients refuse the package " + file + ": " + refusal);
        }
        if (package.sha256.empty()) {
            continue;
        }
        platform::FileSeal seal;
        if (!platform::SealFile(file, seal)) {
            Add(findings, package.line, kError,
                package.owner + ": cannot read " + file + ": " + platform::GetLastErrorText());
        } else if (Lower(package.sha256) != Hex(seal.digest)) {
            Add(findings, package.line, kError,
                package.owner + ": the package " + file +
                    " does not match its sha256 (the file's is " + Hex(seal.digest) +
                    "): clients refuse it");
        }
    }
}

void LintAgainstPrevious(const TiXmlElement* root, const std::string& previous,
                         std::vector<LintFinding>& findings) {
    std::string text;
    Version version;
    if (!QueryAttribute(root, "//manifest", "version", text) || !version.Parse(text)) {
        return;  // reported by the document checks
    }
    const int line = root->Row();
    WorkFolder work;
    if (work.Path().empty()) {
        Add(findings, line, kError,
            "cannot check against " + previous +
                ": no temporary folder: " + platform::GetLastErrorText());
        return;
    }
    std::string why;
    const std::string served = ServedManifest(previous, work, why);
    ManifestDocument document;
    if (served.empty() || document.Load(served) != ManifestDocument::kLoaded) {
        Add(findings, line, kError,
            "cannot read the manifest served (" + previous +
                "): " + (why.empty() ? document.ErrorText() : why));
        return;
    }
    Version servedVersion;
    if (!QueryAttribute(document.Root(), "//manifest", "version", text) ||
        !servedVersion.Parse(text)) {
        Add(findings, line, kWarning,
            "the manifest served (" + previous + ") has no valid version to compare with");
        return;
    }
    if (version.LessThan(servedVersion)) {
        Add(findings, line, kError,
            "manifest version " + version.ToString() + " is lower than version " +
                servedVersion.ToString() + " of the manifest served (" + previous +
                "): clients that accepted that one refuse this one");
    } else if (version.Equal(servedVersion)) {
        Add(findings, line, kWarning,
            "manifest version " + version.ToString() + " is the version of the manifest served (" +
                previous +
                "): a changed manifest needs a higher version, or clients that have the "
                "served one cannot tell them apart");
    }
}
