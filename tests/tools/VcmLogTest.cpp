// vcm log as a person runs it on a terminal: the log is never read through a link planted under
// its name, and control characters in it reach the screen escaped.
#include <gtest/gtest.h>

#include <unistd.h>

#include "support/CodeSigning.h"
#include "support/TempDir.h"

namespace {

TEST(VcmLogTest, TheLogIsShownEscapedAndNeverThroughALink) {
    testsupport::TempDir dir("vcm-log-view");
    const std::string vcm =
        "VOMO_LOG_DIR=" + testsupport::ShellQuote(dir.Path()) + " " + VCM_PATH + " log 2>&1";
    ASSERT_TRUE(testsupport::WriteFile(dir.File("install.log"),
                                       "2026-12-09T14:03:27Z info  a\x1b]0;title\a b\r\n"));
    std::string out;
    EXPECT_EQ(0, testsupport::RunCommandOutput(vcm, out));
    EXPECT_EQ("2026-12-09T14:03:27Z info  a\\x1b]0;title\\x07 b\\x0d\n", out);

    ASSERT_TRUE(testsupport::WriteFile(dir.File("secret"), "secret\n"));
    ASSERT_EQ(0, ::unlink(dir.File("install.log").c_str()));
    ASSERT_EQ(0, ::symlink(dir.File("secret").c_str(), dir.File("install.log").c_str()));
    EXPECT_EQ(1, testsupport::RunCommandOutput(vcm, out));
    EXPECT_EQ(std::string::npos, out.find("secret\n")) << out;
}

}  // namespace
