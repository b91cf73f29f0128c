// The component manager against a substitute engine and substitute services.
#include <gtest/gtest.h>

#include <boost/chrono.hpp>

#include <boost/make_shared.hpp>

#include "api/ComponentManager.h"
#include "support/FakeEngine.h"
#include "support/FakeServices.h"

using testsupport::FakeComponent;
using testsupport::FakeEngine;
using testsupport::FakePingSender;
using testsupport::FakeSession;
using testsupport::FakeSettings;
using testsupport::FakeTime;

namespace {

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = boost::make_shared<FakeEngine>();
        settings = boost::make_shared<FakeSettings>();
        clock = boost::make_shared<FakeTime>();
        pinger = boost::make_shared<FakePingSender>();
        clock->Set(2026, 3, 15, 12, 0, 0);
        manager.reset(new ComponentManager(engine, settings, clock, pinger));
    }

    void AddSpec(const std::string& role, const std::string& name, const std::string& version) {
        manager->AddSpec(SpecRecord{role, name, version});
    }

    void AddComponent(const std::string& id, bool update, bool installed = true) {
        engine->components[id] = boost::make_shared<FakeComponent>(id, update);
        if (installed) {
            settings->installed.insert(id);
        }
    }

    boost::shared_ptr<FakeEngine> engine;
    boost::shared_ptr<FakeSettings> settings;
    boost::shared_ptr<FakeTime> clock;
    boost::shared_ptr<FakePingSender> pinger;
    std::unique_ptr<ComponentManager> manager;
};

// ---- splitting -----------------------------------------------------------------------------

TEST(SplitListTest, KeepsEmptyFieldsAndGivesNothingForNothing) {
    EXPECT_TRUE(SplitList(nullptr).empty());
    EXPECT_TRUE(SplitList("").empty());
    EXPECT_EQ((std::vector<std::string>{"a"}), SplitList("a"));
    EXPECT_EQ((std::vector<std::string>{"", "", ""}), SplitList(";;"));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), SplitList("a;b"));
    EXPECT_EQ((std::vector<std::string>{"a", "", "b", ""}), SplitList("a;;b;"));
    EXPECT_EQ((std::vector<std::string>{" a ", "B"}), SplitList(" a ;B"));  // no trimming
}

// ---- manifest preparation ------------------------------------------------------------------

struct PrepCase {
    uint32_t begin;
    std::vector<uint32_t> polls;
    uint32_t load;
    int expected;
};

class PreparationTest : public ManagerTest, public ::testing::WithParamInterface<PrepCase> {};

TEST_P(PreparationTest, MapsEngineCodes) {
    const PrepCase& c = GetParam();
    engine->beginResult = c.begin;
    engine->pollResults.assign(c.polls.begin(), c.polls.end());
    engine->loadResult = c.load;
    EXPECT_EQ(c.expected, manager->PrepareManifest());
    EXPECT_EQ(c.expected == 0, manager->IsLoaded());
    EXPECT_EQ(1, engine->beginCalls);  // never retried within the call
}

INSTANTIATE_TEST_SUITE_P(
    Codes, PreparationTest,
    ::testing::Values(PrepCase{0, {0}, 0, 0},
                      PrepCase{0, {1, 2, 3, 6, 0}, 0, 0},  // other values: still running
                      PrepCase{5, {0}, 0, 8}, PrepCase{7, {0}, 0, 4},
                      PrepCase{2, {0}, 0, 0},  // other begin results go on
                      PrepCase{0, {4}, 0, 1}, PrepCase{0, {18}, 0, 1}, PrepCase{0, {19}, 0, 1},
                      PrepCase{0, {2, 8}, 0, 4}, PrepCase{0, {0}, 7, 5}, PrepCase{0, {0}, 14, 6},
                      PrepCase{0, {0}, 2, 0}));  // other load results count as success

TEST_F(ManagerTest, PreparationPollsUntilDoneAndLoadsOnce) {
    engine->pollResults = {1, 2, 2, 0};
    EXPECT_EQ(0, manager->PrepareManifest());
    EXPECT_EQ(4, engine->pollCalls);
    EXPECT_EQ(1, engine->loadCalls);
}

TEST_F(ManagerTest, MissingMemberFailsPreparationWithoutTouchingTheEngine) {
    ComponentManager noPinger(engine, settings, clock, nullptr);
    EXPECT_EQ(1, noPinger.PrepareManifest());
    ComponentManager noClock(engine, settings, nullptr, pinger);
    EXPECT_EQ(1, noClock.PrepareManifest());
    ComponentManager noSettings(engine, nullptr, clock, pinger);
    EXPECT_EQ(1, noSettings.PrepareManifest());
    ComponentManager noEngine(nullptr, settings, clock, pinger);
    EXPECT_EQ(1, noEngine.PrepareManifest());
    EXPECT_EQ(0, engine->beginCalls);
}

TEST_F(ManagerTest, LoadedManifestIsReusedAndFailedOneIsNot) {
    AddSpec("r", "n", "1");
    engine->pollResults = {8};
    std::vector<std::string> ids;
    EXPECT_EQ(4, manager->FindComponents(ids));
    EXPECT_EQ(1u, manager->GetSpecs().size());  // the specs stay after a failed preparation
    // The engine now reports the download as already started.
    engine->beginResult = 5;
    EXPECT_EQ(8, manager->FindComponents(ids));
    EXPECT_EQ(2, engine->beginCalls);
    EXPECT_EQ(0, engine->loadCalls);

    engine->beginResult = 0;
    engine->pollResults = {0};
    EXPECT_EQ(12, manager->FindComponents(ids));
    EXPECT_EQ(13, manager->FindComponents(ids));  // the specs were consumed
    AddSpec("r", "n", "1");
    EXPECT_EQ(12, manager->FindComponents(ids));
    EXPECT_EQ(3, engine->beginCalls);  // loaded: no further preparation
}

// ---- FindComponents ------------------------------------------------------------------------

TEST_F(ManagerTest, FindWithoutSpecsIs13AndDoesNotPrepare) {
    std::vector<std::string> ids;
    EXPECT_EQ(13, manager->FindComponents(ids));
    EXPECT_EQ(0, engine->beginCalls);
}

TEST_F(ManagerTest, FindHandsTheEngineRoleNameVersion) {
    AddSpec("role", "name", "1.0");
    std::vector<std::string> ids;
    manager->FindComponents(ids);
    ASSERT_EQ(1u, engine->queries.size());
    EXPECT_EQ("role", engine->queries[0].role);
    EXPECT_EQ("name", engine->queries[0].name);
    EXPECT_EQ("1.0", engine->queries[0].version);
}

TEST_F(ManagerTest, FindReportsEachIdOnceInByteOrder) {
    engine->specAnswers[FakeEngine::Key("r", "a", "1")] = {0, "b"};
    engine->specAnswers[FakeEngine::Key("r", "b", "1")] = {0, "B"};
    engine->specAnswers[FakeEngine::Key("r", "c", "1")] = {0, "b"};
    engine->specAnswers[FakeEngine::Key("r", "d", "1")] = {0, "\xC3\xA9"};
    engine->specAnswers[FakeEngine::Key("r", "e", "1")] = {0, "a"};
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        AddSpec("r", name, "1");
    }
    std::vector<std::string> ids;
    EXPECT_EQ(0, manager->FindComponents(ids));
    EXPECT_EQ((std::vector<std::string>{"B", "a", "b", "\xC3\xA9"}), ids);
    EXPECT_EQ(5, engine->findCalls);
    EXPECT_TRUE(manager->GetSpecs().empty());
}

TEST_F(ManagerTest, FindResultCombinesAnswers) {
    engine->specAnswers[FakeEngine::Key("r", "exact", "1")] = {0, "x"};
    engine->specAnswers[FakeEngine::Key("r", "newer", "1")] = {23, ""};
    std::vector<std::string> ids;

    AddSpec("r", "newer", "1");
    AddSpec("r", "exact", "1");
    AddSpec("r", "none", "1");
    EXPECT_EQ(0, manager->FindComponents(ids));

    ids.clear();
    AddSpec("r", "none", "1");
    AddSpec("r", "newer", "1");
    AddSpec("r", "none", "2");
    EXPECT_EQ(14, manager->FindComponents(ids));
    EXPECT_TRUE(ids.empty());

    AddSpec("r", "none", "1");
    EXPECT_EQ(12, manager->FindComponents(ids));
    EXPECT_EQ(7, engine->findCalls);  // the loop never stops early
}

// ---- CheckForUpdates -----------------------------------------------------------------------

TEST_F(ManagerTest, MissingIntervalIsWrittenAsThreeAndUncheckedComponentsAreDue) {
    AddComponent("a", true);
    AddComponent("b", false);
    std::vector<std::string> ids{"a", "b"};
    EXPECT_EQ(0, manager->CheckForUpdates(ids, false));
    EXPECT_EQ((std::vector<std::string>{"a"}), ids);
    EXPECT_EQ(3u, (settings->numbers[{"Update", "UpdateCheckInterval"}]));
    EXPECT_EQ("20260215120000", (settings->strings[{"a", "UpdateCheckDate"}]));  // month 02
    EXPECT_EQ("20260215120000", (settings->strings[{"b", "UpdateCheckDate"}]));
}

TEST_F(ManagerTest, IntervalOf1000SwitchesOffUnforcedChecksOnly) {
    AddComponent("a", true);
    settings->numbers[{"Update", "UpdateCheckInterval"}] = 1000;
    std::vector<std::string> ids{"a"};
    EXPECT_EQ(9, manager->CheckForUpdates(ids, false));
    EXPECT_EQ((std::vector<std::string>{"a"}), ids);
    EXPECT_EQ(0, engine->beginCalls);
    EXPECT_EQ(0, manager->CheckForUpdates(ids, true));
    EXPECT_EQ((std::vector<std::string>{"a"}), ids);
}

TEST_F(ManagerTest, DueExactlyAtTheIntervalAndNotASecondBefore) {
    AddComponent("a", true);
    settings->numbers[{"Update", "UpdateCheckInterval"}] = 2;
    // Now is 2026-03-15 12:00:00; month digits are 0-based.
    settings->strings[{"a", "UpdateCheckDate"}] = "20260213120000";
    std::vector<std::string> ids{"a"};
    EXPECT_EQ(0, manager->CheckForUpdates(ids, false));
    EXPECT_EQ((std::vector<std::string>{"a"}), ids);

    settings->strings[{"a", "UpdateCheckDate"}] = "20260213120001";
    ids = {"a"};
    EXPECT_EQ(9, manager->CheckForUpdates(ids, false));
}

TEST_F(ManagerTest, NotInstalledComponentsAreNeverDue) {
    AddComponent("gone", true, false);
    std::vector<std::string> ids{"gone"};
    EXPECT_EQ(9, manager->CheckForUpdates(ids, false));
    EXPECT_EQ(0, engine->beginCalls);
}

TEST_F(ManagerTest, UnknownIdStopsTheCheckWith11KeepingEarlierDates) {
    AddComponent("a", false);
    settings->installed.insert("ghost");
    std::vector<std::string> ids{"a", "ghost", "b"};
    EXPECT_EQ(11, manager->CheckForUpdates(ids, true));
    EXPECT_EQ(1u, settings->strings.count({"a", "UpdateCheckDate"}));
    EXPECT_EQ(0u, settings->strings.count({"ghost", "UpdateCheckDate"}));
}

TEST_F(ManagerTest, AllIsScheduledUnderTheUpdateKey) {
    AddComponent("a", false);
    std::vector<std::string> ids{"all"};
    EXPECT_EQ(11, manager->CheckForUpdates(ids, false));  // due, but not a component
    engine->components["all"] = boost::make_shared<FakeComponent>("all", true);
    ids = {"all"};
    EXPECT_EQ(0, manager->CheckForUpdates(ids, false));
    EXPECT_EQ("20260215120000", (settings->strings[{"Update", "UpdateCheckDate"}]));
    ids = {"all"};
    EXPECT_EQ(9, manager->CheckForUpdates(ids, false));  // checked just now
}

TEST_F(ManagerTest, ForcedCheckOfAnEmptyListPreparesAndSucceeds) {
    std::vector<std::string> ids;
    EXPECT_EQ(0, manager->CheckForUpdates(ids, true));
    EXPECT_EQ(1, engine->beginCalls);
    EXPECT_TRUE(ids.empty());
}

TEST_F(ManagerTest, FailedPreparationIsReportedAs1) {
    AddComponent("a", true);
    engine->loadResult = 14;
    std::vector<std::string> ids{"a"};
    EXPECT_EQ(1, manager->CheckForUpdates(ids, true));
    EXPECT_EQ(0u, settings->strings.count({"a", "UpdateCheckDate"}));
}

TEST_F(ManagerTest, StampOfTheLastDayOfTheYearUsesMonthDigits11) {
    clock->Set(2025, 12, 31, 23, 59, 58);
    AddComponent("a", false);
    std::vector<std::string> ids{"a"};
    EXPECT_EQ(0, manager->CheckForUpdates(ids, true));
    EXPECT_EQ("20251131235958", (settings->strings[{"a", "UpdateCheckDate"}]));
}

// ---- UpdateComponents ----------------------------------------------------------------------

TEST_F(ManagerTest, SessionThatCannotBeCreatedGives7WithoutPolling) {
    engine->createSessionResult = 15;
    EXPECT_EQ(7, manager->UpdateComponents({"a"}));
    EXPECT_EQ(0, engine->completeCalls);
}

TEST_F(ManagerTest, SuccessfulRunRecordsFirstInstallsAndSendsOneHint) {
    auto session = boost::make_shared<FakeSession>();
    session->states = {2, 4, 7};
    engine->session = session;
    settings->installed = {"a", "b"};
    settings->unique = {"b"};
    EXPECT_EQ(0, manager->UpdateComponents({"a", "b", "c", "a"}));
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "a"}), engine->sessionIds);
    EXPECT_EQ(3, session->polls);
    ASSERT_EQ(1u, pinger->hints.size());
    EXPECT_EQ("a", pinger->hints[0].first);
    EXPECT_FALSE(pinger->hints[0].second);
    EXPECT_EQ(1u, settings->unique.count("a"));
    EXPECT_EQ(0u, settings->unique.count("c"));
    EXPECT_EQ(1, engine->completeCalls);

    session->states = {7};
    EXPECT_EQ(0, manager->UpdateComponents({"a"}));
    EXPECT_EQ(1u, pinger->hints.size());  // never a second success hint
}

TEST_F(ManagerTest, FailedRunSendsFailureHintsAndRecordsNothing) {
    auto session = boost::make_shared<FakeSession>();
    session->states = {8};
    engine->session = session;
    settings->installed = {"a", "b"};
    settings->unique = {"b"};
    EXPECT_EQ(1, manager->UpdateComponents({"a", "b", "c"}));
    EXPECT_EQ(1, session->polls);
    ASSERT_EQ(1u, pinger->hints.size());
    EXPECT_EQ("a", pinger->hints[0].first);
    EXPECT_TRUE(pinger->hints[0].second);
    EXPECT_EQ(0u, settings->unique.count("a"));
    EXPECT_EQ(0, engine->completeCalls);
}

// A run that has failed by the first poll ends there, without the 10 ms pause: twenty of them
// take far less than the twenty pauses would.
TEST_F(ManagerTest, ARunFailedAtTheFirstPollEndsWithoutPausing) {
    auto session = boost::make_shared<FakeSession>();
    engine->session = session;
    const auto start = boost::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        session->states = {8};
        EXPECT_EQ(1, manager->UpdateComponents({"a"}));
    }
    EXPECT_LT(boost::chrono::steady_clock::now() - start, boost::chrono::milliseconds(200));
    EXPECT_EQ(20, session->polls);
}

TEST_F(ManagerTest, FailedCompletionGives1) {
    auto session = boost::make_shared<FakeSession>();
    session->states = {7};
    engine->session = session;
    engine->completeResult = 6;
    EXPECT_EQ(1, manager->UpdateComponents({"a"}));
}

TEST_F(ManagerTest, UpdateAfterFailedPreparationGives1) {
    engine->pollResults = {19};
    EXPECT_EQ(1, manager->UpdateComponents({"a"}));
    EXPECT_EQ(0, engine->createSessionCalls);
}

}  // namespace
