// The checks of `vomo-dist lint`, which `vomo-dist manifest` also runs before it signs: the
// manifest is read with the component manager's own reader (the same XML loader and queries),
// and every finding names the line it concerns.
//
// Errors are what makes clients refuse the manifest or fail on it (XML they cannot parse,
// duplicate ids, dependencies on ids that do not exist or in a cycle, versions that do not
// parse, packages without an address, a rollout that is no percentage, an expiry that is past
// or unreadable, a package that is not signed by an accepted signer or does not match its
// digest, a manifest version lower than the one served). Warnings are what clients accept but
// that is likely a mistake (references to ids that do not exist, packages without a digest, a
// package type that nothing installs, a manifest version equal to the one served).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct LintFinding {
    enum Severity { kWarning, kError };
    int line = 0;  // 1-based; 0 for the file as a whole
    Severity severity = kError;
    std::string text;
};

struct LintOptions {
    // A folder holding the packages the manifest names (by the path of their address, or by
    // their file name): each is checked for its signature and its digest. Empty: not checked.
    std::string packagesDir;
    // The manifest served now, as the address of its signed cabinet or as a local cabinet or
    // XML file: the new manifest's version must be higher. Empty: not checked.
    std::string previous;
};

// Checks the manifest file `path`; the findings in the order of their lines.
std::vector<LintFinding> LintManifest(const std::string& path, const LintOptions& options);

// Prints each finding as "NAME:LINE: error: TEXT" (or "warning") on `out`, `name` standing for
// the file; the number of errors and of warnings.
void PrintFindings(const std::vector<LintFinding>& findings, const std::string& name,
                   std::FILE* out, int& errors, int& warnings);
