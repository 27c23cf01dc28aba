#include <gtest/gtest.h>

#include <QDateTime>
#include <limits>

#include "core/error.h"
#include "core/iso8601.h"
#include "core/system_clock.h"
#include "core/time_limit.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

TEST(Iso8601Test, ParsesInternetDateTimesWithAndWithoutFractionsOnly) {
    const Timestamp ten = Timestamp::fromUnixSeconds(1735725600.0);  // 2025-01-01T10:00:00Z
    const std::pair<const char*, std::optional<Timestamp>> cases[] = {
        {"2025-01-01T10:00:00Z", ten},
        {"2025-01-01T10:00:00.123Z", ten + 0.123},
        {"2025-01-01T10:00:00.5+02:00", ten - 7200.0 + 0.5},
        {"2025-01-01T10:00:00", {}},
        {"2025-01-01T10:00:00+0200", {}},
        {"2025-02-30T10:00:00Z", {}},
        {"2025-01-01T10:00:00Zjunk", {}},
    };
    for (const auto& [text, expected] : cases) {
        const auto parsed = parseInternetDateTime(text);
        ASSERT_EQ(parsed.has_value(), expected.has_value()) << text;
        if (parsed) {
            EXPECT_DOUBLE_EQ(parsed->secondsSince2001(), expected->secondsSince2001()) << text;
        }
    }
}

TEST(TimestampTest, InstantsBeyondTheCalendarGiveAnInvalidDateInsteadOfOverflowing) {
    EXPECT_FALSE(Timestamp(1e300).toDateTime().isValid());
    EXPECT_FALSE(Timestamp(std::numeric_limits<double>::quiet_NaN()).toDateTime().isValid());
}

TEST(SystemClockTest, CancellingALongSleepEndsItWithCancellation) {
    CancellationToken token;
    QTimer::singleShot(0, [token] { token.cancel(); });
    SystemClock clock;
    EXPECT_THROW(test::runTask(clock.sleep(7 * 24 * 3600.0, token)), CancelledError);
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
