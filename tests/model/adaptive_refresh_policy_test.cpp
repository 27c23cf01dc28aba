#include "model/adaptive_refresh_policy.h"

#include <gtest/gtest.h>

namespace {

const Timestamp kStart(788918400.0);

std::vector<UsageActivitySample> fiveHour(std::int64_t used, double resetOffset = 0.0) {
    return {{18000, used, kStart + 18000.0 + resetOffset}};
}

// A policy that saw the five-hour window rise from 10 to 12 percent, the second read 30 s in.
AdaptiveRefreshPolicy activeAtThirtySeconds() {
    AdaptiveRefreshPolicy policy;
    policy.recordObservation(fiveHour(10), kStart);
    policy.recordObservation(fiveHour(12), kStart + 30.0);
    return policy;
}

}  // namespace

TEST(AdaptiveRefreshPolicyTest, IntervalsFollowTheLastActivityOrElseTheFirstObservation) {
    const AdaptiveRefreshPolicy fresh;
    AdaptiveRefreshPolicy observed;
    observed.recordObservation(fiveHour(10), kStart);
    const AdaptiveRefreshPolicy active = activeAtThirtySeconds();
    // Seconds after kStart, and the interval expected then.
    const std::tuple<const AdaptiveRefreshPolicy&, double, double> cases[] = {
        {fresh, 0, 300},     {observed, 0, 120},  {observed, 599.9, 120}, {observed, 600, 300},
        {active, 30, 60},    {active, 629.9, 60}, {active, 630, 120},     {active, 1829.9, 120},
        {active, 1830, 300}, {active, -3600, 60},  // the clock went back before the activity
    };
    for (const auto& [policy, seconds, interval] : cases) {
        EXPECT_EQ(policy.nextRefreshInterval(kStart + seconds), interval) << seconds;
    }
}

// After 10 % of the five-hour window: the observations 30 s apart, and whether they count.
TEST(AdaptiveRefreshPolicyTest, OnlyARiseWithinOneInstanceOfAWindowCounts) {
    using Samples = std::vector<UsageActivitySample>;
    const std::pair<std::vector<Samples>, bool> cases[] = {
        {{fiveHour(12, 0.5)}, true},
        {{fiveHour(12, -1.0)}, true},
        {{fiveHour(12, 2.0)}, false},                 // the window reset
        {{fiveHour(10)}, false},                      // unchanged
        {{fiveHour(3)}, false},                       // fell
        {{{{604800, 50, kStart + 18000.0}}}, false},  // a length not seen before
        {{{{18000, 11, kStart + 18000.0}, {18000, 10, kStart + 18000.0}}}, false},  // later wins
        {{{{604800, 1, kStart}, {18000, 11, kStart + 18000.0}}}, true},
        {{{}, fiveHour(20)}, false},  // forgotten in between: it returns as new
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        AdaptiveRefreshPolicy policy;
        policy.recordObservation(fiveHour(10), kStart);
        double seconds = 0;
        for (const Samples& samples : cases[i].first) {
            policy.recordObservation(samples, kStart + (seconds += 30));
        }
        EXPECT_EQ(policy.lastActivityAt.has_value(), cases[i].second) << "case " << i;
    }
}

TEST(AdaptiveRefreshPolicyTest, FailuresDoubleTheIntervalUpToFifteenMinutes) {
    AdaptiveRefreshPolicy observed;
    observed.recordObservation(fiveHour(10), kStart);
    // A policy, its failures, and the interval expected 330 s after kStart.
    const std::tuple<AdaptiveRefreshPolicy, int, double> cases[] = {
        {activeAtThirtySeconds(), 3, 480},
        {activeAtThirtySeconds(), 4, 900},
        {AdaptiveRefreshPolicy(), 1, 600},
        {observed, 9, 900},
    };
    for (auto [policy, failures, interval] : cases) {
        for (int i = 0; i < failures; ++i) {
            policy.recordFailure();
        }
        EXPECT_EQ(policy.consecutiveFailures, std::min(failures, 8));
        EXPECT_EQ(policy.nextRefreshInterval(kStart + 330.0), interval) << failures;
        policy.recordObservation(fiveHour(10), kStart + 330.0);
        EXPECT_EQ(policy.consecutiveFailures, 0);
    }
}
