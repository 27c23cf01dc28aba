#include "model/usage_window.h"

#include <gtest/gtest.h>

#include <limits>

#include "model/agent_usage_snapshot.h"

namespace {

const Timestamp kNow(788918400.0);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr qint64 kMaxHours = std::numeric_limits<qint64>::max();

// Seconds until the reset, and the text shown then.
class ResetTextTest : public ::testing::TestWithParam<std::pair<double, QString>> {};

TEST_P(ResetTextTest, CountsDownInWholeMinutesAndNeverOverflows) {
    const UsageWindow window{
        .usedPercent = 0, .durationSeconds = 18000, .resetDate = kNow + GetParam().first};
    EXPECT_EQ(window.resetText(kNow), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    UsageWindowTest, ResetTextTest,
    ::testing::Values(
        std::pair{-120.0, QStringLiteral("Resetting now")},
        std::pair{0.5, QStringLiteral("Resets in 0m")},
        std::pair{23 * 3600 + 59 * 60 + 59.9, QStringLiteral("Resets in 23h 59m")},
        std::pair{24 * 3600.0, QStringLiteral("Resets in 1d 0h")},
        // The year 10^12, then far past 2^63 hours.
        std::pair{3.15576e19, QStringLiteral("Resets in 365250000000000d 0h")},
        std::pair{1e300,
                  QStringLiteral("Resets in %1d %2h").arg(kMaxHours / 24).arg(kMaxHours % 24)},
        std::pair{kNaN, QStringLiteral("Resetting now")}));

TEST(UsageWindowTest, PeriodLabelsAndRemainingPercentStayInRange) {
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(UsageWindow::periodLabel(604800), QStringLiteral("7D"));
    EXPECT_EQ(UsageWindow::periodLabel(kMin), QStringLiteral("1M"));
    EXPECT_EQ(UsageWindow::periodLabel(kMax), QStringLiteral("153722867280912930M"));
    const auto remaining = [](std::int64_t used) {
        return UsageWindow{.usedPercent = used, .durationSeconds = 18000, .resetDate = {}}
            .remainingPercent();
    };
    EXPECT_EQ(remaining(42), 58);
    EXPECT_EQ(remaining(130), 0);
    EXPECT_EQ(remaining(kMin), 100);
}

// A window past its reset shows no percentage as current; the snapshot's next reset is the
// earliest one still ahead.
TEST(UsageWindowTest, PastItsResetNothingIsCurrent) {
    const std::pair<double, std::optional<std::int64_t>> rows[] = {
        {0.5, 70}, {0.0, std::nullopt}, {-3600.0, std::nullopt}, {kNaN, std::nullopt}};
    for (const auto& [resetIn, current] : rows) {
        const UsageWindow window{
            .usedPercent = 30, .durationSeconds = 18000, .resetDate = kNow + resetIn};
        EXPECT_EQ(window.currentRemainingPercent(kNow), current) << resetIn;
    }
    AgentUsage usage;
    usage.windows = {{30, 18000, kNow - 1}, {30, 604800, kNow + 900}, {30, 18000, kNow + 60}};
    EXPECT_EQ(AgentUsageSnapshot({usage}).nextReset(kNow), kNow + 60);
    EXPECT_EQ(AgentUsageSnapshot({usage}).nextReset(kNow + 900), std::nullopt);
}

}  // namespace
