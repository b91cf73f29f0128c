// The update schedule under several time zones, each with its daylight-saving changes: a
// component checked exactly the interval's number of days ago (by the wall clock) is due, one
// checked a second later is not.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include <boost/make_shared.hpp>

#include "api/ComponentManager.h"
#include "api/LocalTime.h"
#include "support/FakeEngine.h"
#include "support/FakeServices.h"
#include "support/TempDir.h"

using testsupport::FakeComponent;
using testsupport::FakeEngine;
using testsupport::FakePingSender;
using testsupport::FakeSettings;
using testsupport::FakeTime;

namespace {

// Sets TZ for one test and restores the previous zone afterwards.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        testsupport::SetEnvironment("TZ", zone);
        ::tzset();
    }
    ~ZoneScope() {
        if (hadOld_) {
            testsupport::SetEnvironment("TZ", old_);
        } else {
            testsupport::UnsetEnvironment("TZ");
        }
        ::tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

std::string Stamp(struct tm t) {
    t.tm_year += 1900;
    std::string stamp;
    ComponentManager::FormatTimeStamp(t, stamp);
    return stamp;
}

class ScheduleZoneTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        zone_.reset(new ZoneScope(GetParam()));
        engine = boost::make_shared<FakeEngine>();
        settings = boost::make_shared<FakeSettings>();
        clock = boost::make_shared<FakeTime>();
        manager.reset(
            new ComponentManager(engine, settings, clock, boost::make_shared<FakePingSender>()));
        engine->components["c"] = boost::make_shared<FakeComponent>("c", true);
        settings->installed.insert("c");
    }
    void TearDown() override {
        manager.reset();
        zone_.reset();
    }

    // Whether "c", checked at `stamp`, is due now.
    bool DueWith(const std::string& stamp, uint32_t interval) {
        settings->numbers[{"Update", "UpdateCheckInterval"}] = interval;
        settings->strings[{"c", "UpdateCheckDate"}] = stamp;
        return manager->IsCheckDue("c");
    }

    std::unique_ptr<ZoneScope> zone_;
    boost::shared_ptr<FakeEngine> engine;
    boost::shared_ptr<FakeSettings> settings;
    boost::shared_ptr<FakeTime> clock;
    std::unique_ptr<ComponentManager> manager;
};

TEST_P(ScheduleZoneTest, DueExactlyAtTheIntervalThroughoutTheYear) {
    // Twice a month at noon, so that every daylight-saving change of the zone falls between a
    // stamp and "now" at least once.
    for (int month = 1; month <= 12; ++month) {
        for (int day : {1, 15}) {
            for (uint32_t interval : {1u, 3u, 7u}) {
                clock->Set(2026, month, day, 12, 0, 0);
                struct tm then = clock->now;
                then.tm_mday -= static_cast<int>(interval);
                then.tm_isdst = -1;
                std::mktime(&then);
                const std::string exact = Stamp(then);
                then.tm_sec += 1;
                const std::string later = Stamp(then);
                EXPECT_TRUE(DueWith(exact, interval))
                    << GetParam() << " now 2026-" << month << "-" << day << " stamp " << exact;
                EXPECT_FALSE(DueWith(later, interval))
                    << GetParam() << " now 2026-" << month << "-" << day << " stamp " << later;
            }
        }
    }
}

TEST_P(ScheduleZoneTest, FutureStampsAreNotDueEvenWithIntervalZero) {
    clock->Set(2026, 7, 1, 12, 0, 0);
    struct tm then = clock->now;
    then.tm_mday += 1;
    then.tm_isdst = -1;
    std::mktime(&then);
    EXPECT_FALSE(DueWith(Stamp(then), 0));  // a day ahead: -1 days
    EXPECT_TRUE(DueWith(Stamp(clock->now), 0));
    then = clock->now;
    then.tm_hour += 5;  // hours ahead still count as day 0
    EXPECT_TRUE(DueWith(Stamp(then), 0));
}

TEST_P(ScheduleZoneTest, StampWrittenOnTheLastDayOfTheYear) {
    clock->Set(2026, 12, 31, 23, 30, 5);
    std::vector<std::string> ids{"c"};
    EXPECT_EQ(0, manager->CheckForUpdates(ids, true));
    EXPECT_EQ("20261131233005", (settings->strings[{"c", "UpdateCheckDate"}]));
    // Read back a day later, the stamp is one day old.
    clock->Set(2027, 1, 1, 23, 30, 5);
    EXPECT_TRUE(DueWith("20261131233005", 1));
    EXPECT_FALSE(DueWith("20261131233006", 1));
}

TEST_P(ScheduleZoneTest, UnparseableStampsCountAsVeryOld) {
    clock->Set(2026, 5, 5, 10, 0, 0);
    EXPECT_TRUE(DueWith("garbage", 3));  // all fields 0: the year 0, long ago
    EXPECT_TRUE(DueWith("", 3));
    EXPECT_TRUE(DueWith("2026", 3));  // the year only
}

INSTANTIATE_TEST_SUITE_P(Zones, ScheduleZoneTest,
                         ::testing::Values("UTC0", "America/New_York", "Europe/Berlin",
                                           "Australia/Sydney"));

TEST(LocalTimeTest, NowIsTheCurrentLocalTimeInAPerThreadBuffer) {
    ZoneScope zone("Europe/Berlin");
    vcm::LocalTime clock;
    const std::time_t before = std::time(nullptr);
    struct tm* now = clock.Now();
    ASSERT_NE(nullptr, now);
    struct tm copy = *now;
    const std::time_t seen = std::mktime(&copy);
    EXPECT_LE(before, seen);
    EXPECT_LE(seen, std::time(nullptr));
    EXPECT_EQ(now, clock.Now());  // the same buffer, overwritten
}

}  // namespace
