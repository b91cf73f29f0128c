// The parts of the manifest checks (ManifestLint.h), shared between the files that make them.
#pragma once

#include <string>
#include <vector>

#include <tinyxml.h>

#include "tools/vomo-dist/ManifestLint.h"

// A package element as the document checks found it, for the checks of the files themselves.
struct LintPackage {
    int line = 0;
    std::string owner;   // what the package installs: "component \"VomoPlayer\""
    std::string url;     // its address, empty when it has none
    std::string sha256;  // its digest as written, empty when it has none
};

// Checks the document below `root` (DocumentLint.cpp); appends the findings, and the packages
// that carry an address.
void LintDocument(const TiXmlElement* root, std::vector<LintFinding>& findings,
                  std::vector<LintPackage>& packages);

// Checks each package's file in `dir`: signed by an accepted signer, matching its digest
// (PackageLint.cpp).
void LintPackageFiles(const std::vector<LintPackage>& packages, const std::string& dir,
                      std::vector<LintFinding>& findings);

// Compares the version of the manifest below `root` with that of the manifest served now
// (PackageLint.cpp).
void LintAgainstPrevious(const TiXmlElement* root, const std::string& previous,
                         std::vector<LintFinding>& findings);

// A finding at the line of `node` (0 without one).
void AddFinding(std::vector<LintFinding>& findings, const TiXmlNode* node,
                LintFinding::Severity severity, const std::string& text);
