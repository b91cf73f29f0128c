// The one-shot accessors and IInstallerSettings over them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "RawRegistry.h"
#include "settings/InstallerSettingsImpl.h"
#include "settings/SettingsAccessors.h"
#include "support/ScopedRegistryRoot.h"

using namespace vmds;
using platform::kHKeyCurrentUser;
using platform::kHKeyLocalMachine;

namespace {

class InstallerSettingsTest : public ::testing::Test {
protected:
    testsupport::ScopedRegistryRoot root_;
    InstallerSettingsImpl settings_;
};

TEST_F(InstallerSettingsTest, NumberIsAQwordThatOnlyTheNumberReaderAccepts) {
    ASSERT_TRUE(settings_.SetNumber("Comp", "Size", 1234));
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(rawreg::Get(kHKeyLocalMachine, "Install\\Comp", u"Size", type, bytes));
    EXPECT_EQ(platform::kRegQword, type);

    uint32_t number = 0;
    ASSERT_TRUE(ReadInstallNumber("Comp", "Size", number));
    EXPECT_EQ(1234u, number);
    bool flag = false;
    EXPECT_FALSE(ReadInstallBool("Comp", "Size", flag)) << "no strict DWORD";

    ASSERT_TRUE(settings_.SetBool("Comp", "Enabled", true));
    ASSERT_TRUE(ReadInstallBool("Comp", "Enabled", flag));
    EXPECT_TRUE(flag);
    ASSERT_TRUE(rawreg::Get(kHKeyLocalMachine, "Install\\Comp", u"Enabled", type, bytes));
    EXPECT_EQ(platform::kRegDword, type);
    EXPECT_EQ(rawreg::Le32(1), bytes);
}

TEST_F(InstallerSettingsTest, WritersCreateTheKeyInTheMachineHiveOnly) {
    ASSERT_TRUE(settings_.SetString("Setup\\BundleGroups/Group1", "Title", "Grüße"));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Setup\\BundleGroups\\Group1"));
    EXPECT_FALSE(rawreg::KeyExists(kHKeyCurrentUser, "Install"));
    std::string text = "stale";
    ASSERT_TRUE(settings_.GetString("Setup/BundleGroups/Group1", "title", text));
    EXPECT_EQ("Grüße", text);

    // A failed read empties the text, so that a caller ignoring the result reads nothing.
    text = "stale";
    EXPECT_FALSE(settings_.GetString("Setup/BundleGroups/Group1", "Missing", text));
    EXPECT_EQ("", text);
    text = "stale";
    EXPECT_FALSE(settings_.GetString("Nowhere", "Title", text));
    EXPECT_EQ("", text);
}

TEST_F(InstallerSettingsTest, EmptyKeyOrNameFailsWithoutTouchingTheRegistry) {
    EXPECT_FALSE(settings_.SetNumber("", "Size", 1));
    EXPECT_FALSE(settings_.SetNumber("Comp", "", 1));
    EXPECT_FALSE(settings_.SetBool("", "Flag", true));
    EXPECT_FALSE(WriteSettingsString("", "Name", "x"));
    EXPECT_FALSE(WriteSettingsNumber("Update", "", 1));
    EXPECT_FALSE(InstallKeyExists(""));
    EXPECT_FALSE(DeleteInstallKey(""));
    struct stat st;
    EXPECT_NE(0, ::stat(root_.MachineHive().c_str(), &st));
    EXPECT_NE(0, ::stat(root_.UserHive().c_str(), &st));
}

TEST_F(InstallerSettingsTest, KeyExistsLooksAtTheMachineHiveOnly) {
    ASSERT_TRUE(rawreg::CreateKey(kHKeyCurrentUser, "Install\\UserSide"));
    EXPECT_FALSE(InstallKeyExists("UserSide"));
    ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, "Install\\MachineSide"));
    EXPECT_TRUE(InstallKeyExists("MachineSide"));
    EXPECT_TRUE(InstallKeyExists("machineside"));
}

TEST_F(InstallerSettingsTest, DeletingAnInstallKeyTakesItsSubtree) {
    ASSERT_TRUE(settings_.SetString("Comp/Plugins/P1", "Path", "/opt/p1"));
    ASSERT_TRUE(settings_.SetString("Comp", "InstallDir", "/opt/comp"));
    ASSERT_TRUE(settings_.SetString("Other", "InstallDir", "/opt/other"));
    EXPECT_TRUE(DeleteInstallKey("Comp"));
    EXPECT_FALSE(InstallKeyExists("Comp"));
    EXPECT_TRUE(InstallKeyExists("Other"));
    EXPECT_FALSE(DeleteInstallKey("Comp")) << "no longer there";
}

TEST_F(InstallerSettingsTest, SettingsAreaWritesTheUserHiveAndFallsBackToTheMachine) {
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Settings\\Update", u"Channel", platform::kRegSz,
                            rawreg::Sz(u"stable")));
    std::string text;
    ASSERT_TRUE(ReadSettingsString("Update", "Channel", text));
    EXPECT_EQ("stable", text);
    ASSERT_TRUE(WriteSettingsString("Update", "Channel", "beta"));
    ASSERT_TRUE(ReadSettingsString("Update", "Channel", text));
    EXPECT_EQ("beta", text);
    EXPECT_TRUE(rawreg::KeyExists(kHKeyCurrentUser, "Settings\\Update"));

    ASSERT_TRUE(WriteSettingsNumber("Update", "Interval", 14));
    uint32_t number = 0;
    ASSERT_TRUE(ReadSettingsNumber("Update", "Interval", number));
    EXPECT_EQ(14u, number);
}

}  // namespace
