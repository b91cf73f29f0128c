#include "tools/vomo-dist/ManifestLint.h"

#include <algorithm>
#include <cstdio>

#include "engine/ManifestDocument.h"
#include "tools/vomo-dist/LintChecks.h"

namespace {

// The line of a load failure as the reader words it ("line 3, column 7: ..."); 0 without one.
int ErrorLine(const std::string& why) {
    int line = 0;
    int column = 0;
    return std::sscanf(why.c_str(), "line %d, column %d", &line, &column) == 2 ? line : 0;
}

}  // namespace

std::vector<LintFinding> LintManifest(const std::string& path, const LintOptions& options) {
    std::vector<LintFinding> findings;
    ManifestDocument document;
    const uint32_t loaded = document.Load(path);
    if (loaded != ManifestDocument::kLoaded) {
        LintFinding finding;
        finding.line = ErrorLine(document.ErrorText());
        finding.text = loaded == ManifestDocument::kUnavailable
                           ? "cannot read the file: " + document.ErrorText()
                           : "not a manifest clients can parse: " + document.ErrorText();
        findings.push_back(finding);
        return findings;
    }
    std::vector<LintPackage> packages;
    LintDocument(document.Root(), findings, packages);
    if (!options.packagesDir.empty()) {
        LintPackageFiles(packages, options.packagesDir, findings);
    }
    if (!options.previous.empty()) {
        LintAgainstPrevious(document.Root(), options.previous, findings);
    }
    std::stable_sort(findings.begin(), findings.end(),
                     [](const LintFinding& a, const LintFinding& b) { return a.line < b.line; });
    return findings;
}

void PrintFindings(const std::vector<LintFinding>& findings, const std::string& name,
                   std::FILE* out, int& errors, int& warnings) {
    errors = 0;
    warnings = 0;
    for (const LintFinding& finding : findings) {
        const bool error = finding.severity == LintFinding::kError;
        ++(error ? errors : warnings);
        const std::string where =
            finding.line > 0 ? name + ":" + std::to_string(finding.line) : name;
        std::fprintf(out, "%s: %s: %s\n", where.c_str(), error ? "error" : "warning",
                     finding.text.c_str());
    }
}
