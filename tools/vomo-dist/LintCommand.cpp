#include "tools/vomo-dist/LintCommand.h"

#include <algorithm>
#include <cstdio>

#include "engine/UtcTime.h"
#include "platform/Clock.h"
#include "platform/LastError.h"
#include "tools/vomo-dist/ManifestExpiry.h"
#include "tools/vomo-dist/ManifestLint.h"
#include "tools/vomo-dist/WorkFolder.h"

namespace {

const int kClean = 0;
const int kErrors = 1;
const int kWarningsOnly = 2;
const int kUsage = 2;

int LintUsage() {
    std::fprintf(stderr,
                 "usage: vomo-dist lint MANIFEST [--packages DIR] [--previous URL-or-FILE] "
                 "[--strict]\n");
    return kUsage;
}

bool ReadFile(const std::string& path, std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    char buffer[65536];
    size_t got = 0;
    text.clear();
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, got);
    }
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int RunLint(std::vector<std::string> args) {
    LintOptions options;
    bool strict = false;
    std::string manifest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--strict") {
            strict = true;
        } else if (arg == "--packages" || arg == "--previous") {
            if (i + 1 >= args.size()) {
                return LintUsage();
            }
            (arg == "--packages" ? options.packagesDir : options.previous) = args[++i];
        } else if (manifest.empty() && !arg.empty() && arg[0] != '-') {
            manifest = arg;
        } else {
            return LintUsage();
        }
    }
    if (manifest.empty()) {
        return LintUsage();
    }
    int errors = 0;
    int warnings = 0;
    PrintFindings(LintManifest(manifest, options), manifest, stdout, errors, warnings);
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %d error%s, %d warning%s\n", manifest.c_str(), errors,
                 errors == 1 ? "" : "s", warnings, warnings == 1 ? "" : "s");
    if (errors > 0) {
        return kErrors;
    }
    return strict && warnings > 0 ? kWarningsOnly : kClean;
}

int PrepareManifestForSigning(const std::string& manifest, const std::string& expires,
                              const WorkFolder& work, std::string& packed) {
    packed = manifest;
    if (!expires.empty()) {
        const int64_t now = platform::CurrentTime();
        int64_t expiry = 0;
        if (!ParseExpiresOption(expires, now, expiry) || expiry <= now) {
            std::fprintf(stderr,
                         "vomo-dist: --expires %s is neither a span such as 14d or 36h nor a "
                         "UTC date and time to come (ISO 8601, as 2025-07-01T12:00:00Z)\n",
                         expires.c_str());
            return kUsage;
        }
        std::string text, dated;
        if (work.Path().empty()) {
            std::fprintf(stderr, "vomo-dist: no temporary folder: %s\n",
                         platform::GetLastErrorText().c_str());
            return kErrors;
        }
        // The copy keeps the name, so that the cabinet's member is named as before.
        packed = work.File("manifest.xml");
        if (!ReadFile(manifest, text) ||
            !SetRootAttribute(text, "expires", FormatUtcTime(expiry), dated) ||
            !WriteFile(packed, dated)) {
            std::fprintf(stderr, "vomo-dist: cannot write the expiry into a copy of %s\n",
                         manifest.c_str());
            return kErrors;
        }
    }
    // The file that is signed is checked; its lines are those of `manifest`. Errors are
    // printed in full, warnings counted (lint prints them).
    std::vector<LintFinding> findings = LintManifest(packed, LintOptions());
    const size_t all = findings.size();
    findings.erase(std::remove_if(findings.begin(), findings.end(),
                                  [](const LintFinding& finding) {
                                      return finding.severity != LintFinding::kError;
                                  }),
                   findings.end());
    const size_t warnings = all - findings.size();
    int errors = 0;
    int none = 0;
    PrintFindings(findings, manifest, stderr, errors, none);
    if (errors > 0) {
        std::fprintf(stderr, "vomo-dist: %s has %d error%s; it is not signed\n", manifest.c_str(),
                     errors, errors == 1 ? "" : "s");
        return kErrors;
    }
    if (warnings > 0) {
        std::fprintf(stderr, "vomo-dist: %s has %zu warning%s; vomo-dist lint shows them\n",
                     manifest.c_str(), warnings, warnings == 1 ? "" : "s");
    }
    return 0;
}
