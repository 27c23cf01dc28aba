#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/system_clock.h"
#include "core/time_limit.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace {

// Sleeps and then notes the wall-clock time it woke at, or "cancelled".
QCoro::Task<> sleepAndNote(Clock& clock, double seconds, CancellationToken token,
                           std::vector<std::string>& log, std::string name) {
    try {
        co_await clock.sleep(seconds, token);
        log.push_back(name + "@" + std::to_string(static_cast<int>(clock.now() - Timestamp(0.0))));
    } catch (const CancelledError&) {
        log.push_back(name + " cancelled");
    }
}

}  // namespace

TEST(ManualClockTest, AdvancingCompletesDueSleepsInOrderAtTheirDueTime) {
    ManualClock clock(Timestamp(0.0));
    std::vector<std::string> log;
    CancellationToken token;
    auto late = sleepAndNote(clock, 300, token, log, "late");
    auto early = sleepAndNote(clock, 20, token, log, "early");
    auto tie = sleepAndNote(clock, 20, token, log, "tie");
    EXPECT_EQ(clock.pendingSleepCount(), 3u);
    EXPECT_EQ(clock.secondsUntilNextSleep(), 20.0);

    clock.advance(19.5);
    EXPECT_TRUE(log.empty());
    clock.advance(100);
    EXPECT_EQ(log, (std::vector<std::string>{"early@20", "tie@20"}));
    EXPECT_EQ(clock.now(), Timestamp(119.5));
    EXPECT_TRUE(clock.advanceToNextSleep());
    EXPECT_EQ(log.back(), "late@300");
    EXPECT_FALSE(clock.advanceToNextSleep());
}

TEST(ManualClockTest, SleepsStartedWhileAdvancingAreHonouredWithinTheSameAdvance) {
    ManualClock clock(Timestamp(0.0));
    std::vector<std::string> log;
    auto chain = [](ManualClock& clock, std::vector<std::string>& log) -> QCoro::Task<> {
        for (int i = 0; i < 3; ++i) {
            co_await clock.sleep(10, CancellationToken());
            log.push_back(std::to_string(static_cast<int>(clock.now() - Timestamp(0.0))));
        }
    };
    auto task = chain(clock, log);
    clock.advance(25);
    EXPECT_EQ(log, (std::vector<std::string>{"10", "20"}));
    EXPECT_EQ(clock.secondsUntilNextSleep(), 5.0);
}

TEST(ManualClockTest, SettingTheWallClockLeavesMonotonicSleepsAlone) {
    ManualClock clock(Timestamp(1000.0));
    std::vector<std::string> log;
    auto task = sleepAndNote(clock, 60, CancellationToken(), log, "s");
    clock.setNow(Timestamp(0.0));
    EXPECT_EQ(clock.secondsUntilNextSleep(), 60.0);
    clock.advance(60);
    EXPECT_EQ(log, std::vector<std::string>{"s@60"});
}

TEST(ManualClockTest, CancellationAndZeroSleepsResumeFromTheEventLoopNotInline) {
    ManualClock clock;
    std::vector<std::string> log;
    CancellationToken token;
    auto cancelled = sleepAndNote(clock, 3600, token, log, "long");
    auto immediate = sleepAndNote(clock, 0, CancellationToken(), log, "zero");
    token.cancel();
    EXPECT_TRUE(log.empty()) << "resumed inside cancel()";
    EXPECT_EQ(clock.pendingSleepCount(), 0u);
    ASSERT_TRUE(test::processEventsUntil([&] { return log.size() == 2; }));
    // The zero sleep was queued first.
    EXPECT_EQ(log, (std::vector<std::string>{"zero@788918400", "long cancelled"}));

    // Already cancelled: throws without suspending.
    auto again = sleepAndNote(clock, 5, token, log, "again");
    EXPECT_EQ(log.back(), "again cancelled");
}

TEST(SystemClockTest, CancellingALongSleepEndsItWithCancellation) {
    SystemClock& clock = SystemClock::shared();
    CancellationToken token;
    std::vector<std::string> log;
    auto sleeper = sleepAndNote(clock, 7 * 24 * 3600.0, token, log, "week");
    QTimer::singleShot(0, [token] { token.cancel(); });
    ASSERT_TRUE(test::processEventsUntil([&] { return !log.empty(); }));
    EXPECT_EQ(log, std::vector<std::string>{"week cancelled"});
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
