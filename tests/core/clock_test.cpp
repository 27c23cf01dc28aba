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

QCoro::Task<> sleepTwice(Clock& clock, std::vector<std::string>& log) {
    co_await sleepAndNote(clock, 10, CancellationToken(), log, "chain");
    co_await sleepAndNote(clock, 10, CancellationToken(), log, "chain");
}

TEST(ManualClockTest, AdvancingResumesDueSleepsInOrderWithSleepsStartedMeanwhile) {
    ManualClock clock(Timestamp(0.0));
    std::vector<std::string> log;
    auto late = sleepAndNote(clock, 300, CancellationToken(), log, "late");
    auto early = sleepAndNote(clock, 20, CancellationToken(), log, "early");
    auto chain = sleepTwice(clock, log);
    auto tie = sleepAndNote(clock, 20, CancellationToken(), log, "tie");
    clock.advance(9.5);
    EXPECT_TRUE(log.empty());
    clock.advance(100);
    EXPECT_EQ(log, (std::vector<std::string>{"chain@10", "early@20", "tie@20", "chain@20"}));
    // Setting the wall clock leaves the monotonic sleeps alone.
    clock.setNow(Timestamp(0.0));
    EXPECT_TRUE(clock.advanceToNextSleep());
    EXPECT_EQ(log.back(), "late@190");
    EXPECT_FALSE(clock.advanceToNextSleep());
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
