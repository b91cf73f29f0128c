// The update check against the real settings shim and registry (with a substitute engine and
// clock): what it writes where, and ids that would reach into other keys.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "api/ComponentManager.h"
#include "api/SettingsShim.h"
#include "settings/IVomoSettings.h"
#include "settings/SettingsAccessors.h"
#include "support/FakeEngine.h"
#include "support/FakeServices.h"
#include "support/ScopedRegistryRoot.h"

using testsupport::FakeComponent;
using testsupport::FakeEngine;
using testsupport::FakePingSender;
using testsupport::FakeTime;

namespace {

class RegistryCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = boost::make_shared<FakeEngine>();
        clock = boost::make_shared<FakeTime>();
        clock->Set(2026, 6, 10, 9, 30, 0);
        manager.reset(new ComponentManager(engine, boost::make_shared<vcm::SettingsShim>(), clock,
                                           boost::make_shared<FakePingSender>()));
    }

    void Install(const std::string& id, bool update) {
        engine->components[id] = boost::make_shared<FakeComponent>(id, update);
        ASSERT_TRUE(vmds::WriteInstallString(id, "ComponentId", id));
    }

    static bool UserValue(const std::string& key, const std::string& name, std::string& text) {
        vmds::IVomoSettings::Ptr node;
        return vmds::OpenSettings("Settings/" + key, vmds::kOpenUserRead, &node) &&
               node->GetString(name, text);
    }

    testsupport::ScopedRegistryRoot root;
    boost::shared_ptr<FakeEngine> engine;
    boost::shared_ptr<FakeTime> clock;
    std::unique_ptr<ComponentManager> manager;
};

TEST_F(RegistryCheckTest, FirstCheckWritesTheIntervalAndTheDatesToTheUserHive) {
    Install("a", true);
    Install("b", false);
    std::vector<std::string> ids{"a", "b", "c"};  // "c" has no install key: never due
    ASSERT_EQ(0, manager->CheckForUpdates(ids, false));
    EXPECT_EQ(std::vector<std::string>{"a"}, ids);

    vmds::IVomoSettings::Ptr update;
    ASSERT_TRUE(vmds::OpenSettings("Settings/Update", vmds::kOpenUserRead, &update));
    uint64_t interval = 0;
    EXPECT_TRUE(update->GetQword(std::string("UpdateCheckInterval"), interval));
    EXPECT_EQ(3u, interval);
    std::string stamp;
    ASSERT_TRUE(UserValue("a", "UpdateCheckDate", stamp));
    EXPECT_EQ("20260510093000", stamp);
    ASSERT_TRUE(UserValue("b", "UpdateCheckDate", stamp));
    EXPECT_FALSE(UserValue("c", "UpdateCheckDate", stamp));

    // Checked just now: nothing is due until three days have passed.
    ids = {"a", "b"};
    EXPECT_EQ(9, manager->CheckForUpdates(ids, false));
    clock->Set(2026, 6, 13, 9, 30, 0);
    ids = {"a", "b"};
    EXPECT_EQ(0, manager->CheckForUpdates(ids, false));
    EXPECT_EQ(std::vector<std::string>{"a"}, ids);
}

TEST_F(RegistryCheckTest, MachineIntervalIsReadWhenTheUserHasNone) {
    Install("a", true);
    vmds::IVomoSettings::Ptr machine;
    ASSERT_TRUE(vmds::OpenSettings("Settings/Update", vmds::kCreateMachine, &machine));
    ASSERT_TRUE(machine->SetUInt32(std::string("UpdateCheckInterval"), 1000));
    std::vector<std::string> ids{"a"};
    EXPECT_EQ(9, manager->CheckForUpdates(ids, false));
    EXPECT_EQ(0, engine->beginCalls);
    EXPECT_EQ(0, manager->CheckForUpdates(ids, true));
    EXPECT_EQ(std::vector<std::string>{"a"}, ids);
}

TEST_F(RegistryCheckTest, IntervalZeroMakesEveryInstalledComponentDue) {
    Install("a", false);
    ASSERT_TRUE(vmds::WriteSettingsNumber("Update", "UpdateCheckInterval", 0));
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> ids{"a"};
        EXPECT_EQ(0, manager->CheckForUpdates(ids, false));
        EXPECT_TRUE(ids.empty());
    }
}

// An id holding a separator would address another key: "Setup\Reports" is the failed-ping
// store, which exists once a ping has failed.
TEST_F(RegistryCheckTest, IdsThatAddressOtherKeysAreNeverInstalledNorWritten) {
    ASSERT_TRUE(vmds::WriteInstallString("Setup\\Reports", "hint00", "http://h/p"));
    engine->components["Setup\\Reports"] = boost::make_shared<FakeComponent>("Setup\\Reports");
    std::vector<std::string> ids{"Setup\\Reports", "Setup/Reports"};
    EXPECT_EQ(9, manager->CheckForUpdates(ids, false));  // not installed, so never due

    ids = {"Setup\\Reports"};
    EXPECT_EQ(0, manager->CheckForUpdates(ids, true));
    std::string stamp;
    EXPECT_FALSE(UserValue("Setup\\Reports", "UpdateCheckDate", stamp));

    vcm::SettingsShim shim;
    EXPECT_FALSE(shim.IsInstalled("Setup\\Reports"));
    EXPECT_FALSE(shim.IsInstalled("Setup/Reports"));
    EXPECT_FALSE(shim.RecordUniqueInstall("Setup\\Reports"));
    EXPECT_FALSE(shim.IsUniqueInstallRecorded("Setup\\Reports"));
    EXPECT_FALSE(shim.WriteString("Setup\\Reports", "UpdateCheckDate", "x"));
    EXPECT_FALSE(shim.WriteDword("a/b", "n", 1));
    EXPECT_FALSE(vmds::InstallKeyExists("Setup\\UniqueInstall\\Setup"));

    std::string url;
    EXPECT_TRUE(vmds::ReadInstallString("Setup\\Reports", "hint00", url));
    EXPECT_EQ("http://h/p", url);
}

}  // namespace
