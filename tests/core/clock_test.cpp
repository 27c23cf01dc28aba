#include <gtest/gtest.h>

#include "core/error.h"
#include "core/system_clock.h"
#include "core/time_limit.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

TEST(SystemClockTest, CancellingALongSleepEndsItWithCancellation) {
    CancellationToken token;
    QTimer::singleShot(0, [token] { token.cancel(); });
    EXPECT_THROW(test::runTask(SystemClock::shared().sleep(7 * 24 * 3600.0, token)),
                 CancelledError);
}

TEST(TimeLimitTest, RunsTheActionOnlyWhenTheLimitPassesUncancelled) {
    ManualClock clock;
    int expired = 0;
    CancellationToken kept;
    CancellationToken cancelled;
    auto due = runAfter(clock, 20, kept, [&] { ++expired; });
    auto stopped = runAfter(clock, 20, cancelled, [&] { expired += 100; });
    clock.advance(19);
    cancelled.cancel();
    ASSERT_TRUE(test::processEventsUntil([&] { return stopped.isReady(); }));
    EXPECT_EQ(expired, 0);
    clock.advance(1);
    EXPECT_EQ(expired, 1);
    EXPECT_EQ(clock.pendingSleepCount(), 0u);
}
