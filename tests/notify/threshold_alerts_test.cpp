#include "notify/threshold_alerts.h"

#include <gtest/gtest.h>

#include "support/usage_builder.h"

namespace {

const Timestamp kNow = test::kReadAt;
const Timestamp kReset = kNow + 7500;
const QString k80 = QStringLiteral("limit-threshold.v1.codex.18000.80");
const QString k95 = QStringLiteral("limit-threshold.v1.codex.18000.95");

// Each row: the use and reset, the alerts delivered, and the alert due with the identifiers it
// stands for (none: no alert). A jump past both says the higher one, and counts the lower as said.
TEST(ThresholdAlertsTest, OncePerThresholdAndWindowInstance) {
    const std::tuple<std::int64_t, Timestamp, ThresholdAlerts::Delivered, std::vector<QString>>
        rows[] = {
            {79, kReset, {}, {}},
            {80, kReset, {}, {k80}},
            {96, kReset, {}, {k80, k95}},
            {85, kReset, {{k80, kReset + 30}}, {}},
            {85, kReset, {{k80, kReset - 18000}}, {k80}},  // said for the instance before
            {99, kNow, {}, {}},                            // past its reset
        };
    for (const auto& [used, reset, delivered, identifiers] : rows) {
        const auto due = ThresholdAlerts::due(
            test::snapshot({test::usage("codex", {test::fiveHour(used, reset)})}), {80, 95},
            delivered, kNow);
        ASSERT_EQ(due.size(), identifiers.empty() ? 0u : 1u) << used;
        if (!due.empty()) {
            EXPECT_EQ(due[0].request.identifier, identifiers.back());
            EXPECT_EQ(due[0].identifiers, identifiers);
        }
    }
}

TEST(ThresholdPercentsTest, WholePercentsUpToFive) {
    EXPECT_EQ(ThresholdAlerts::parsePercents(QStringLiteral(" 95,80 ,80")), (std::vector{80, 95}));
    for (const char* bad : {"", "80,", "0", "101", "8O", "1,2,3,4,5,6"}) {
        EXPECT_EQ(ThresholdAlerts::parsePercents(QString::fromLatin1(bad)), std::nullopt) << bad;
    }
}

}  // namespace
