// A distribution as a publisher puts it on a server, for tests that drive the library or vcm
// through it: installer packages signed by "Vomo, LLC" (SignedPackages.h) and a signed manifest
// cabinet at "/vomo/setup/manifest.cab", served on 127.0.0.1. While the object lives,
// VOMO_MANIFEST_URL names that cabinet (and the packages' settings of SignedPackages hold);
// afterwards it names a closed port again.
#pragma once

#include <string>
#include <vector>

#include "support/SignedPackages.h"

namespace testsupport {

// One component of a published manifest: its id, its latest version, the script of its
// installer package (none: no package) and a spec it offers ("name;role;version", or none).
struct PublishedComponent {
    std::string id;
    std::string version;
    std::string installer;
    std::string spec;
};

class PublishedSite {
public:
    PublishedSite();
    ~PublishedSite();
    PublishedSite(const PublishedSite&) = delete;
    PublishedSite& operator=(const PublishedSite&) = delete;

    // Publishes a manifest of version `manifestVersion` listing `components`, with their
    // packages, replacing what was published before.
    void Publish(const std::string& manifestVersion,
                 const std::vector<PublishedComponent>& components);

    SignedPackages& Packages() { return packages_; }

private:
    SignedPackages packages_;
    TempDir dir_{"vcm-site"};
};

}  // namespace testsupport
