// Installer packages as sessions download them: test scripts wrapped in cabinets
// (TestPackages.h), signed (CodeSigning.h) and served by a local HTTP server. While the object
// lives, the test root is trusted (VOMO_TRUST_ROOTS) and the system temporary folder (TMPDIR)
// is a folder of its own, so that a test sees what a run leaves there.
#pragma once

#include <string>
#include <vector>

#include "support/CodeSigning.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

namespace testsupport {

class SignedPackages {
public:
    SignedPackages();
    ~SignedPackages();
    SignedPackages(const SignedPackages&) = delete;
    SignedPackages& operator=(const SignedPackages&) = delete;

    // Serves `script` as the package "/<name>", signed by `signer`; its URL.
    std::string Serve(const std::string& name, const std::string& script,
                      Signer signer = Signer::kVomoLlc);
    // The same package left unsigned.
    std::string ServeUnsigned(const std::string& name, const std::string& script);
    // Serves `xml` as the manifest of a distribution: the member "manifest.xml" of a cabinet
    // signed by `signer`, at "/vomo/setup/manifest.cab". Its URL.
    std::string ServeManifest(const std::string& xml, Signer signer = Signer::kVomoLlc);
    // The bytes served as "/<name>".
    std::string Bytes(const std::string& name) const;

    // The files left anywhere below the temporary folder.
    std::vector<std::string> LeftInTemp() const;

    LocalHttpServer& Server() { return server_; }
    const TempDir& Dir() const { return dir_; }
    const TempDir& Temp() const { return tmp_; }

private:
    std::string Route(const std::string& name, const std::string& file);

    TempDir dir_{"vcm-packages"};
    TempDir tmp_{"vcm-tmp"};
    LocalHttpServer server_;
    std::string previousTmp_;
    bool hadTmp_ = false;
};

}  // namespace testsupport
