#include "widgethost/wake_schedule.h"

#include <gtest/gtest.h>

namespace {

const Timestamp kNow(788918400.0);

Timestamp at(double seconds) {
    return kNow + seconds;
}

// A timeline of a fresh entry and a stale one at +1201 s, reloading at +1800 s.
const std::vector<Timestamp> kTwoEntries = {at(0), at(1201)};

TEST(WakeScheduleTest, ShowsTheLastEntryWhoseDateHasCome) {
    struct Case {
        std::vector<Timestamp> dates;
        double now;
        std::optional<std::size_t> expected;
    };
    const Case cases[] = {
        {kTwoEntries, 0, 0},
        {kTwoEntries, 1200.9, 0},
        {kTwoEntries, 1201, 1},
        {kTwoEntries, 5000, 1},
        // Received before its first date (a clock set back): the first entry all the same.
        {kTwoEntries, -30, 0},
        {{}, 0, std::nullopt},
    };
    for (const Case& item : cases) {
        EXPECT_EQ(WakeSchedule::currentEntry(item.dates, at(item.now)), item.expected)
            << "now +" << item.now;
    }
}

TEST(WakeScheduleTest, WakesAtTheNextEntryOrTheReloadDateWhicheverComesFirst) {
    struct Case {
        std::vector<Timestamp> dates;
        double reload;
        double now;
        double expected;
    };
    const Case cases[] = {
        {kTwoEntries, 1800, 0, 1201},
        {kTwoEntries, 1800, 1201, 1800},
        {kTwoEntries, 600, 0, 600},
        {{at(0)}, 3600, 0, 3600},
        // A reload date that already passed is due at once.
        {kTwoEntries, -5, 1300, -5},
    };
    for (const Case& item : cases) {
        EXPECT_EQ(WakeSchedule::nextWake(item.dates, at(item.reload), at(item.now)) - kNow,
                  item.expected)
            << "reload +" << item.reload << ", now +" << item.now;
    }
}

TEST(WakeScheduleTest, AReloadDateNotInTheFutureWaitsTheShortestDelay) {
    EXPECT_EQ(WakeSchedule::effectiveReloadDate(at(-5), kNow) - kNow, 60.0);
    EXPECT_EQ(WakeSchedule::effectiveReloadDate(at(0), kNow) - kNow, 60.0);
    EXPECT_EQ(WakeSchedule::effectiveReloadDate(at(1800), kNow) - kNow, 1800.0);
}

}  // namespace
