// The device search's schedule: looks 2 s apart for the first minute of a
// search, then 10 s apart; a search that is already running keeps its times.

#include "app/DeviceSearchSchedule.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

TEST(DeviceSearchSchedule, LooksTwoSecondsApartForAMinuteThenTenSecondsApart) {
    struct Case {
        uint64_t lookAtMs;  // since the search began
        uint64_t nextMs;
    };
    const Case cases[] = {
        {2000, 4000},   {4000, 6000},   {30500, 32500}, {58000, 60000},
        {59999, 61999}, {60000, 70000}, {70000, 80000}, {3600000, 3610000},
    };
    const uint64_t began = 123456;
    for (const Case& c : cases) {
        DeviceSearchSchedule schedule;
        schedule.begin(began);
        schedule.noteLook(began + c.lookAtMs);
        EXPECT_EQ(schedule.nextLookMs(), began + c.nextMs) << "look at " << c.lookAtMs;
        EXPECT_FALSE(schedule.isLookDue(began + c.nextMs - 1)) << "look at " << c.lookAtMs;
        EXPECT_TRUE(schedule.isLookDue(began + c.nextMs)) << "look at " << c.lookAtMs;
    }
}

TEST(DeviceSearchSchedule, TheFirstLookComesTwoSecondsAfterTheStartAndARestartKeepsTheTimes) {
    DeviceSearchSchedule schedule;
    EXPECT_FALSE(schedule.isLookDue(0));
    EXPECT_FALSE(schedule.isLookDue(1'000'000));
    schedule.begin(1000);
    EXPECT_TRUE(schedule.isSearching());
    EXPECT_FALSE(schedule.isLookDue(2999));
    EXPECT_TRUE(schedule.isLookDue(3000));
    // The device still missing after a minute: begun again, still slow.
    schedule.noteLook(61000);
    schedule.begin(61500);
    EXPECT_EQ(schedule.nextLookMs(), 71000u);
    schedule.end();
    EXPECT_FALSE(schedule.isSearching());
    EXPECT_FALSE(schedule.isLookDue(1'000'000));
    // A new search starts its minute afresh.
    schedule.begin(2'000'000);
    schedule.noteLook(2'002'000);
    EXPECT_EQ(schedule.nextLookMs(), 2'004'000u);
}

}  // namespace
}  // namespace qv::test
