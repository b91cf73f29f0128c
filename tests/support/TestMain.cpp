// main() of every test program. Each test process gets a registry folder (VOMO_REGISTRY_ROOT)
// and an install-log folder (VOMO_LOG_DIR) of its own, so that tests never touch the machine's
// hives or log nor each other's, and addresses that fail at once instead of reaching the
// network.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TempDir.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::TempDir registry("vcm-registry");
    ::setenv("VOMO_REGISTRY_ROOT", registry.Path().c_str(), 1);
    testsupport::TempDir logs("vcm-logs");
    ::setenv("VOMO_LOG_DIR", logs.Path().c_str(), 1);
    if (!std::getenv("VOMO_MANIFEST_URL")) {
        ::setenv("VOMO_MANIFEST_URL", "http://127.0.0.1:1/vomo/setup/manifest.cab", 1);
    }
    if (!std::getenv("VOMO_INSTALLER_URL")) {
        ::setenv("VOMO_INSTALLER_URL", "http://127.0.0.1", 1);
    }
    return RUN_ALL_TESTS();
}
