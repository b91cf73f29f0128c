// main() of every test program. Each test process gets a registry of its own (an empty place
// for its keys), an install-log folder (VOMO_LOG_DIR) and a temporary folder (TMPDIR) of its
// own, so that tests never touch the machine's registry, log or temporary files nor each
// other's, and addresses that fail at once instead of reaching the network.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::ScopedRegistryRoot registry;
    testsupport::TempDir logs("vcm-logs");
    testsupport::SetEnvironment("VOMO_LOG_DIR", logs.Path());
    // A temporary folder of its own too: the library removes the folders that processes which
    // no longer run left in the temporary folder, and must never meet another test's.
    testsupport::TempDir tmp("vcm-tmp");
    testsupport::OpenForOthers(tmp.Path());  // tests that run a child as another user
    testsupport::SetEnvironment("TMPDIR", tmp.Path());
    if (!std::getenv("VOMO_MANIFEST_URL")) {
        testsupport::SetEnvironment("VOMO_MANIFEST_URL",
                                    "http://127.0.0.1:1/vomo/setup/manifest.cab");
    }
    if (!std::getenv("VOMO_INSTALLER_URL")) {
        testsupport::SetEnvironment("VOMO_INSTALLER_URL", "http://127.0.0.1");
    }
    return RUN_ALL_TESTS();
}
