// vcm's uninstall and hotfix commands as a person runs them: exit statuses, the ids printed,
// and what stays installed.
#include <gtest/gtest.h>

#include <set>

#include "support/InstalledComponents.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"

namespace {

using testsupport::InstalledComponent;

TEST(VcmEngineCommandsTest, UninstallAndHotFixAnswerWithTheirStatuses) {
    testsupport::ScopedRegistryRoot hives;  // inherited by the tool
    testsupport::RecordInstalled(InstalledComponent("a"));
    testsupport::RecordInstalled(InstalledComponent("b", "1.0.0.0", {"a"}));
    testsupport::RecordInstalled(InstalledComponent("c"));
    const struct {
        const char* args;
        int status;
        const char* out;
    } cases[] = {
        {"uninstall", 64, ""},
        {"uninstall 'a;x'", 2, ""},    // x is not installed: nothing is removed
        {"uninstall a", 0, "b\na\n"},  // b requires a
        {"uninstall a", 2, ""},
        {"hotfix", 8, ""},  // the manifest's address does not answer
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(c.status, testsupport::RunCommandOutput(
                                std::string(VCM_PATH) + " " + c.args + " 2>/dev/null", out))
            << c.args;
        EXPECT_EQ(c.out, out) << c.args;
    }
    std::set<std::string> ids;
    CreateComponentRegistry()->GetInstalledComponentIds(ids);
    EXPECT_EQ(std::set<std::string>{"c"}, ids);
}

}  // namespace
