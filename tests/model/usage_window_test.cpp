#include "model/usage_window.h"

#include <gtest/gtest.h>

#include <limits>

#include "support/usage_builder.h"

namespace {

const Timestamp kNow(788918400.0);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(UsageWindowTest, ResetTextCountsDownInWholeMinutesAndNeverOverflows) {
    constexpr qint64 kMaxHours = std::numeric_limits<qint64>::max();
    // Seconds until the reset, and the text shown then.
    const std::pair<double, QString> rows[] = {
        {-120.0, QStringLiteral("Resetting now")},
        {0.5, QStringLiteral("Resets in 0m")},
        {23 * 3600 + 59 * 60 + 59.9, QStringLiteral("Resets in 23h 59m")},
        {24 * 3600.0, QStringLiteral("Resets in 1d 0h")},
        // The year 10^12, then far past 2^63 hours.
        {3.15576e19, QStringLiteral("Resets in 365250000000000d 0h")},
        {1e300, QStringLiteral("Resets in %1d %2h").arg(kMaxHours / 24).arg(kMaxHours % 24)},
        {kNaN, QStringLiteral("Resetting now")},
    };
    for (const auto& [resetIn, text] : rows) {
        EXPECT_EQ(test::window(18000, 0, kNow + resetIn).resetText(kNow), text) << resetIn;
    }
}

TEST(UsageWindowTest, PeriodLabelsAndRemainingPercentStayInRange) {
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(UsageWindow::periodLabel(kMin), QStringLiteral("1M"));
    EXPECT_EQ(UsageWindow::periodLabel(std::numeric_limits<std::int64_t>::max()),
              QStringLiteral("153722867280912930M"));
    EXPECT_EQ(test::window(18000, 42).remainingPercent(), 58);
    EXPECT_EQ(test::window(18000, 130).remainingPercent(), 0);
    EXPECT_EQ(test::window(18000, kMin).remainingPercent(), 100);
}

// A window past its reset shows no percentage as current; the snapshot's next reset is the
// earliest one still ahead.
TEST(UsageWindowTest, PastItsResetNothingIsCurrent) {
    const std::pair<double, std::optional<std::int64_t>> rows[] = {
        {0.5, 70}, {0.0, std::nullopt}, {-3600.0, std::nullopt}, {kNaN, std::nullopt}};
    for (const auto& [resetIn, current] : rows) {
        EXPECT_EQ(test::window(18000, 30, kNow + resetIn).currentRemainingPercent(kNow), current)
            << resetIn;
    }
    AgentUsage usage;
    usage.windows = {{30, 18000, kNow - 1}, {30, 604800, kNow + 900}, {30, 18000, kNow + 60}};
    EXPECT_EQ(AgentUsageSnapshot({usage}).nextReset(kNow), kNow + 60);
    EXPECT_EQ(AgentUsageSnapshot({usage}).nextReset(kNow + 900), std::nullopt);
}

}  // namespace
