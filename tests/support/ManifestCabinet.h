// Signed manifest cabinets, as the distribution server serves them.
#pragma once

#include <string>

#include "support/CodeSigning.h"

namespace testsupport {

// A manifest XML text with the given version attribute ("" for none) and no content.
std::string ManifestXml(const std::string& version);

// Makes `output`: a compressed cabinet holding `xml` as its one member "manifest.xml", signed
// by `signer`. Works in `workDir`. True on success.
bool MakeSignedManifest(Signer signer, const std::string& xml, const std::string& output,
                        const std::string& workDir);

}  // namespace testsupport
