// What decides whether a release reaches a machine: the staged rollout's buckets, and the UTC
// times a manifest expires at.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "engine/Rollout.h"
#include "engine/UtcTime.h"

namespace {

// The id of simulated machine `i`: 32 hexadecimal digits, as real ones are.
std::string SimulatedMachine(int i) {
    char id[40];
    std::snprintf(id, sizeof id, "%08x%08x%08x%08x", static_cast<unsigned>(i) * 2654435761u,
                  0x5eed0000u + static_cast<unsigned>(i), static_cast<unsigned>(i),
                  ~static_cast<unsigned>(i));
    return id;
}

TEST(RolloutTest, BucketsSpreadMachinesEvenlyAndWideningKeepsThoseAdmitted) {
    const Version version("4.1.0.12");
    const int kMachines = 1000;
    std::set<int> atTen, atFifty, nextRelease;
    for (int i = 0; i < kMachines; ++i) {
        const std::string machine = SimulatedMachine(i);
        const uint32_t bucket = RolloutBucket(machine, "VomoPlayer", version);
        ASSERT_LT(bucket, 100u);
        EXPECT_EQ(bucket, RolloutBucket(machine, "VomoPlayer", version));  // stays put
        if (bucket < 10) {
            atTen.insert(i);
        }
        if (bucket < 50) {
            atFifty.insert(i);
        }
        if (RolloutBucket(machine, "VomoPlayer", Version("4.1.0.13")) < 10) {
            nextRelease.insert(i);
        }
    }
    EXPECT_GE(atTen.size(), 70u);
    EXPECT_LE(atTen.size(), 130u);
    EXPECT_GE(atFifty.size(), 440u);
    EXPECT_LE(atFifty.size(), 560u);
    for (const int machine : atTen) {
        EXPECT_EQ(1u, atFifty.count(machine)) << "machine " << machine << " left the rollout";
    }
    // Another release draws other machines first, and another component too.
    EXPECT_NE(atTen, nextRelease);
    int sameForOtherComponent = 0;
    for (int i = 0; i < kMachines; ++i) {
        const std::string machine = SimulatedMachine(i);
        sameForOtherComponent += RolloutBucket(machine, "VomoPlayer", version) ==
                                 RolloutBucket(machine, "VomoCodecs", version);
    }
    EXPECT_LT(sameForOtherComponent, 50);
}

TEST(RolloutTest, ThisMachineHasOneIdAndTheSharesAtTheEndsAreExact) {
    const std::string id = MachineRolloutId();
    EXPECT_EQ(32u, id.size()) << id;
    EXPECT_EQ(std::string::npos, id.find_first_not_of("0123456789abcdef")) << id;
    EXPECT_EQ(id, MachineRolloutId());
    uint32_t bucket = 100;
    EXPECT_FALSE(IsMachineInRollout("VomoPlayer", Version("1.0.0.0"), 0, &bucket));
    EXPECT_EQ(RolloutBucket(id, "VomoPlayer", Version("1.0.0.0")), bucket);
    EXPECT_TRUE(IsMachineInRollout("VomoPlayer", Version("1.0.0.0"), 100));
    EXPECT_EQ(bucket < 40, IsMachineInRollout("VomoPlayer", Version("1.0.0.0"), 40));
}

TEST(UtcTimeTest, ReadsIsoDatesAndTimesWithTheirOffset) {
    const struct {
        const char* text;
        int64_t seconds;  // -1: not a UTC time
    } cases[] = {
        {"1970-01-01T00:00:00Z", 0},
        {"2025-07-01T12:00:00Z", 1751371200},
        {"2025-07-01T12:00Z", 1751371200},
        {"2025-07-01T12:00:00.750Z", 1751371200},
        {"2025-07-01T14:00:00+02:00", 1751371200},
        {"2025-07-01T14:00:00+0200", 1751371200},
        {"2025-07-01T09:30:00-02:30", 1751371200},
        {"2025-07-01t12:00:00z", -1},
        {"2025-07-01", 1751328000},
        {"2024-02-29T23:59:59Z", 1709251199},
        {"2100-01-01T00:00:00Z", 4102444800},  // past 2038 on every system
        {"2025-07-01T12:00:00", -1},           // a local time: no instant
        {"2023-02-29", -1},
        {"2025-13-01", -1},
        {"2025-07-01T24:00:00Z", -1},
        {"2025-07-01T12:60:00Z", -1},
        {"2025-07-01T12:00:00+24:00", -1},
        {"2025-7-1", -1},
        {" 2025-07-01", -1},
        {"2025-07-01T12:00:00Z ", -1},
        {"2025-07-01T12:00:00.Z", -1},
        {"1969-12-31T23:59:59Z", -1},
        {"tomorrow", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        int64_t seconds = 42;
        const bool parsed = ParseUtcTime(c.text, seconds);
        EXPECT_EQ(c.seconds >= 0, parsed) << c.text;
        EXPECT_EQ(c.seconds >= 0 ? c.seconds : 42, seconds) << c.text;
    }
    EXPECT_EQ("2025-07-01T12:00:00Z", FormatUtcTime(1751371200));
    EXPECT_EQ("2100-01-01T00:00:00Z", FormatUtcTime(4102444800));
    int64_t back = 0;
    ASSERT_TRUE(ParseUtcTime(FormatUtcTime(1709251199), back));
    EXPECT_EQ(1709251199, back);
}

}  // namespace
