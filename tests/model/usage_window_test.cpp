#include "model/usage_window.h"

#include <gtest/gtest.h>

#include <limits>

#include "model/agent_usage_snapshot.h"

namespace {

QString resetTextIn(double seconds) {
    const Timestamp now(788918400.0);
    return UsageWindow{.usedPercent = 0, .durationSeconds = 18000, .resetDate = now + seconds}
        .resetText(now);
}

}  // namespace

TEST(UsageWindowTest, ResetTextAtItsBoundaries) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {-120, "Resetting now"},         {0.5, "Resets in 0m"},
        {59 * 60 + 59, "Resets in 59m"}, {23 * 3600 + 59 * 60 + 59.9, "Resets in 23h 59m"},
        {24 * 3600, "Resets in 1d 0h"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resetTextIn(c.seconds), QString::fromUtf8(c.text)) << c.seconds;
    }
}

TEST(UsageWindowTest, ResetTextSurvivesTimesBeyondSixtyFourBitsOfHours) {
    // The year 10^12 is about 3e19 seconds away; 1e300 seconds is far past 2^63 hours.
    EXPECT_EQ(resetTextIn(3.15576e19), QStringLiteral("Resets in 365250000000000d 0h"));
    const qint64 maxHours = std::numeric_limits<qint64>::max();
    const QString clamped =
        QStringLiteral("Resets in %1d %2h").arg(maxHours / 24).arg(maxHours % 24);
    EXPECT_EQ(resetTextIn(1e300), clamped);
    EXPECT_EQ(resetTextIn(std::numeric_limits<double>::quiet_NaN()),
              QStringLiteral("Resetting now"));
}

TEST(UsageWindowTest, PeriodLabels) {
    const struct {
        std::int64_t seconds;
        const char* label;
    } cases[] = {
        {604800, "7D"},
        {18000, "5H"},
        {90, "1M"},
        {std::numeric_limits<std::int64_t>::min(), "1M"},
        {std::numeric_limits<std::int64_t>::max(), "153722867280912930M"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UsageWindow::periodLabel(c.seconds), QString::fromUtf8(c.label)) << c.seconds;
    }
}

TEST(UsageWindowTest, RemainingPercentIsClamped) {
    auto remaining = [](std::int64_t used) {
        return UsageWindow{.usedPercent = used, .durationSeconds = 18000, .resetDate = {}}
            .remainingPercent();
    };
    EXPECT_EQ(remaining(42), 58);
    EXPECT_EQ(remaining(130), 0);
    EXPECT_EQ(remaining(std::numeric_limits<std::int64_t>::min()), 100);
}

// A window past its reset shows no percentage as current; the snapshot's next reset is the
// earliest one still ahead.
TEST(UsageWindowTest, PastItsResetNothingIsCurrent) {
    const Timestamp now(788918400.0);
    const struct {
        double resetIn;
        std::optional<std::int64_t> current;
    } cases[] = {{0.5, 70},
                 {0, std::nullopt},
                 {-3600, std::nullopt},
                 {std::numeric_limits<double>::quiet_NaN(), std::nullopt}};
    for (const auto& c : cases) {
        const UsageWindow window{
            .usedPercent = 30, .durationSeconds = 18000, .resetDate = now + c.resetIn};
        EXPECT_EQ(window.currentRemainingPercent(now), c.current) << c.resetIn;
    }
    AgentUsage usage;
    usage.windows = {{30, 18000, now - 1}, {30, 604800, now + 900}, {30, 18000, now + 60}};
    EXPECT_EQ(AgentUsageSnapshot({usage}).nextReset(now), now + 60);
    EXPECT_EQ(AgentUsageSnapshot({usage}).nextReset(now + 900), std::nullopt);
}
