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

TEST(AdaptiveRefreshPolicyTest, OnlyARiseWithinOneInstanceOfAWindowCounts) {
    const struct {
        std::vector<UsageActivitySample> second;
        bool active;
    } cases[] = {
        {fiveHour(12, 0.5), true},
        {fiveHour(12, -1.0), true},
        {fiveHour(12, 2.0), false},                 // the window reset
        {fiveHour(10), false},                      // unchanged
        {fiveHour(3), false},                       // fell
        {{{604800, 50, kStart + 18000.0}}, false},  // a length not seen before
        {{{18000, 11, kStart + 18000.0}, {18000, 10, kStart + 18000.0}}, false},  // later wins
        {{{604800, 1, kStart}, {18000, 11, kStart + 18000.0}}, true},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        AdaptiveRefreshPolicy policy;
        policy.recordObservation(fiveHour(10), kStart);
        policy.recordObservation(cases[i].second, kStart + 30.0);
        EXPECT_EQ(policy.lastActivityAt.has_value(), cases[i].active) << "case " << i;
    }
}

TEST(AdaptiveRefreshPolicyTest, ForgottenWindowsDoNotCountWhenTheyReturn) {
    AdaptiveRefreshPolicy policy;
    policy.recordObservation(fiveHour(10), kStart);
    policy.recordObservation({}, kStart + 30.0);
    policy.recordObservation(fiveHour(20), kStart + 60.0);
    EXPECT_FALSE(policy.lastActivityAt.has_value());
}

TEST(AdaptiveRefreshPolicyTest, FailuresBackOffUpToFifteenMinutes) {
    AdaptiveRefreshPolicy active = activeAtThirtySeconds();
    const Timestamp fiveMinutesLater = kStart + 330.0;
    const double expectedActive[] = {60, 120, 240, 480, 900, 900, 900, 900, 900, 900};
    for (int failures = 0; failures <= 9; ++failures) {
        EXPECT_EQ(active.nextRefreshInterval(fiveMinutesLater), expectedActive[failures])
            << failures << " failures";
        active.recordFailure();
    }
    EXPECT_EQ(active.consecutiveFailures, 8);

    AdaptiveRefreshPolicy neverSucceeded;
    neverSucceeded.recordFailure();
    EXPECT_EQ(neverSucceeded.nextRefreshInterval(kStart), 600.0);
    neverSucceeded.recordFailure();
    EXPECT_EQ(neverSucceeded.nextRefreshInterval(kStart), 900.0);

    AdaptiveRefreshPolicy recent;
    recent.recordObservation(fiveHour(10), kStart);
    for (int failures = 0; failures < 3; ++failures) {
        recent.recordFailure();
    }
    EXPECT_EQ(recent.nextRefreshInterval(kStart), 900.0);
    recent.recordObservation(fiveHour(10), kStart + 10.0);
    EXPECT_EQ(recent.consecutiveFailures, 0);
    EXPECT_EQ(recent.nextRefreshInterval(kStart + 10.0), 120.0);
}
