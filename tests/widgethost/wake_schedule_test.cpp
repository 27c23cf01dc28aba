#include "widgethost/wake_schedule.h"

#include <gtest/gtest.h>

namespace {

const Timestamp kNow(788918400.0);

Timestamp at(double seconds) {
    return kNow + seconds;
}

// A timeline of a fresh entry and a stale one at +1201 s.
const std::vector<Timestamp> kTwoEntries = {at(0), at(1201)};

TEST(WakeScheduleTest, ShowsTheLastEntryWhoseDateHasCome) {
    EXPECT_EQ(WakeSchedule::currentEntry(kTwoEntries, at(1200.9)), 0u);
    EXPECT_EQ(WakeSchedule::currentEntry(kTwoEntries, at(1201)), 1u);
    // Received before its first date (a clock set back): the first entry all the same.
    EXPECT_EQ(WakeSchedule::currentEntry(kTwoEntries, at(-30)), 0u);
    EXPECT_EQ(WakeSchedule::currentEntry({}, kNow), std::nullopt);
}

TEST(WakeScheduleTest, WakesAtTheNextEntryOrTheReloadDateWhicheverComesFirst) {
    EXPECT_EQ(WakeSchedule::nextWake(kTwoEntries, at(1800), at(0)) - kNow, 1201.0);
    EXPECT_EQ(WakeSchedule::nextWake(kTwoEntries, at(1800), at(1201)) - kNow, 1800.0);
    EXPECT_EQ(WakeSchedule::nextWake(kTwoEntries, at(600), at(0)) - kNow, 600.0);
    EXPECT_EQ(WakeSchedule::nextWake({at(0)}, at(3600), at(0)) - kNow, 3600.0);
    // A reload date that already passed is due at once.
    EXPECT_EQ(WakeSchedule::nextWake(kTwoEntries, at(-5), at(1300)) - kNow, -5.0);
}

TEST(WakeScheduleTest, AReloadDateNotInTheFutureWaitsTheShortestDelay) {
    EXPECT_EQ(WakeSchedule::effectiveReloadDate(at(-5), kNow) - kNow, 60.0);
    EXPECT_EQ(WakeSchedule::effectiveReloadDate(at(0), kNow) - kNow, 60.0);
    EXPECT_EQ(WakeSchedule::effectiveReloadDate(at(1800), kNow) - kNow, 1800.0);
}

}  // namespace
