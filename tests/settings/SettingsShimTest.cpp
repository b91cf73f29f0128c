// vcm::SettingsShim: the component manager's settings and install areas, and the unique-install
// records.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "RawRegistry.h"
#include "api/SettingsShim.h"
#include "support/ScopedRegistryRoot.h"

using platform::kHKeyCurrentUser;
using platform::kHKeyLocalMachine;

namespace {

class SettingsShimTest : public ::testing::Test {
protected:
    testsupport::ScopedRegistryRoot root_;
    vcm::SettingsShim shim_;
};

TEST_F(SettingsShimTest, DwordRoundTripsThroughAQword) {
    ASSERT_TRUE(shim_.WriteDword("Update", "LastCheck", 0xDEADBEEFu));
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(rawreg::Get(kHKeyCurrentUser, "Settings\\Update", u"LastCheck", type, bytes));
    EXPECT_EQ(platform::kRegQword, type);
    EXPECT_EQ(rawreg::Le64(0xDEADBEEFu), bytes);
    uint32_t value = 0;
    ASSERT_TRUE(shim_.ReadDword("Update", "LastCheck", value));
    EXPECT_EQ(0xDEADBEEFu, value);

    // A 4-byte number from elsewhere is read as well; a text is not a number.
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Settings\\Update", u"Interval", platform::kRegDword,
                            rawreg::Le32(30)));
    ASSERT_TRUE(shim_.ReadDword("Update", "Interval", value));
    EXPECT_EQ(30u, value);
    ASSERT_TRUE(shim_.WriteString("Update", "Text", "5"));
    EXPECT_FALSE(shim_.ReadDword("Update", "Text", value));
    std::string text;
    EXPECT_FALSE(shim_.ReadString("Update", "Interval", text));
}

TEST_F(SettingsShimTest, MachineValueIsReadUntilTheUserWritesOne) {
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Settings\\Update", u"Channel", platform::kRegSz,
                            rawreg::Sz(u"stable")));
    std::string text;
    ASSERT_TRUE(shim_.ReadString("Update", "Channel", text));
    EXPECT_EQ("stable", text);
    ASSERT_TRUE(shim_.WriteString("Update", "Channel", "beta"));
    ASSERT_TRUE(shim_.ReadString("Update", "Channel", text));
    EXPECT_EQ("beta", text);
}

TEST_F(SettingsShimTest, EmptyKeyOrNameFailsWithoutTouchingTheRegistry) {
    uint32_t value = 0;
    std::string text;
    EXPECT_FALSE(shim_.IsInstalled(""));
    EXPECT_FALSE(shim_.ReadString("", "n", text));
    EXPECT_FALSE(shim_.ReadDword("", "n", value));
    EXPECT_FALSE(shim_.WriteDword("", "n", 1));
    EXPECT_FALSE(shim_.WriteString("", "n", "x"));
    EXPECT_FALSE(shim_.ReadString("k", "", text));
    EXPECT_FALSE(shim_.ReadDword("k", "", value));
    EXPECT_FALSE(shim_.WriteDword("k", "", 1));
    EXPECT_FALSE(shim_.WriteString("k", "", "x"));
    EXPECT_FALSE(shim_.RecordUniqueInstall(""));
    struct stat st;
    EXPECT_NE(0, ::stat(root_.UserHive().c_str(), &st));
    EXPECT_NE(0, ::stat(root_.MachineHive().c_str(), &st));
}

TEST_F(SettingsShimTest, IsInstalledMeansTheMachineInstallKey) {
    ASSERT_TRUE(rawreg::CreateKey(kHKeyCurrentUser, "Install\\comp.a"));
    EXPECT_FALSE(shim_.IsInstalled("comp.a"));
    ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, "Install\\comp.a"));
    EXPECT_TRUE(shim_.IsInstalled("comp.a"));
}

TEST_F(SettingsShimTest, UniqueInstallIsRecordedOnceForInstalledComponents) {
    // Not installed: nothing written, though the record's key is left behind.
    EXPECT_FALSE(shim_.RecordUniqueInstall("comp.a"));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Setup\\UniqueInstall\\comp.a"));
    EXPECT_FALSE(shim_.IsUniqueInstallRecorded("comp.a"));

    ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, "Install\\comp.a"));
    EXPECT_TRUE(shim_.RecordUniqueInstall("comp.a"));
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(rawreg::Get(kHKeyLocalMachine, "Install\\Setup\\UniqueInstall\\comp.a",
                            u"Unique-comp.a", type, bytes));
    EXPECT_EQ(platform::kRegSz, type);
    EXPECT_EQ(rawreg::Sz(u""), bytes);
    EXPECT_TRUE(shim_.IsUniqueInstallRecorded("comp.a"));

    EXPECT_FALSE(shim_.RecordUniqueInstall("comp.a")) << "recorded before";
    EXPECT_FALSE(shim_.IsUniqueInstallRecorded("comp.b"));
    EXPECT_FALSE(shim_.IsUniqueInstallRecorded(""));
}

}  // namespace
