// main() of every test program. Each test process gets a registry of its own (an empty place
// for its keys) and an install-log folder (VOMO_LOG_DIR) of its own, so that tests never touch
// the machine's registry or log nor each other's, and addresses that fail at once instead of
// reaching the network.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::ScopedRegistryRoot registry;
    testsupport::TempDir logs("vcm-logs");
    testsupport::SetEnvironment("VOMO_LOG_DIR", logs.Path());
    if (!std::getenv("VOMO_MANIFEST_URL")) {
        testsupport::SetEnvironment("VOMO_MANIFEST_URL",
                                    "http://127.0.0.1:1/vomo/setup/manifest.cab");
    }
    if (!std::getenv("VOMO_INSTALLER_URL")) {
        testsupport::SetEnvironment("VOMO_INSTALLER_URL", "http://127.0.0.1");
    }
    return RUN_ALL_TESTS();
}
