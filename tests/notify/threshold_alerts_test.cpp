#include "notify/threshold_alerts.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "fake_notification_center.h"
#include "notify/limit_notification_manager.h"
#include "support/manual_clock.h"
#include "support/named_rows.h"
#include "support/run_task.h"
#include "support/usage_builder.h"

namespace {

const Timestamp kNow = test::kReadAt;
const Timestamp kReset = kNow + 7500;
const QString k80 = QStringLiteral("limit-threshold.v1.codex.18000.80");
const QString k95 = QStringLiteral("limit-threshold.v1.codex.18000.95");

struct DueRow {
    const char* name;
    std::int64_t used;
    Timestamp reset;
    ThresholdAlerts::Delivered delivered;
    // The alert's identifier and those it stands for; empty: none due.
    std::vector<QString> identifiers;
};

class ThresholdAlertsTest : public testing::TestWithParam<DueRow> {};

TEST_P(ThresholdAlertsTest, OncePerThresholdAndWindowInstance) {
    const DueRow& row = GetParam();
    const auto due = ThresholdAlerts::due(
        test::snapshot({test::usage("codex", {test::fiveHour(row.used, row.reset)})}), {80, 95},
        row.delivered, kNow);
    ASSERT_EQ(due.size(), row.identifiers.empty() ? 0u : 1u);
    if (!due.empty()) {
        EXPECT_EQ(due[0].request.identifier, row.identifiers.back());
        EXPECT_EQ(due[0].identifiers, row.identifiers);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ThresholdAlertsTest,
    testing::Values(DueRow{"Below", 79, kReset, {}, {}}, DueRow{"Reached", 80, kReset, {}, {k80}},
                    // A jump past both says the higher one, and counts the lower as said.
                    DueRow{"JumpedPastBoth", 96, kReset, {}, {k80, k95}},
                    DueRow{"AlreadySaid", 85, kReset, {{k80, kReset + 30}}, {}},
                    DueRow{"SaidForTheInstanceBefore", 85, kReset, {{k80, kReset - 18000}}, {k80}},
                    DueRow{"PastItsReset", 99, kNow, {}, {}}),
    rowName);

TEST(ThresholdPercentsTest, WholePercentsUpToFive) {
    EXPECT_EQ(ThresholdAlerts::parsePercents(QStringLiteral(" 95,80 ,80")), (std::vector{80, 95}));
    for (const char* bad : {"", "80,", "0", "101", "8O", "1,2,3,4,5,6"}) {
        EXPECT_EQ(ThresholdAlerts::parsePercents(QString::fromLatin1(bad)), std::nullopt) << bad;
    }
}

// A restart with the same preferences neither repeats an alert nor drops the next one.
TEST(ThresholdAlertsDeliveryTest, OnceAcrossARestart) {
    QTemporaryDir folder;
    Preferences preferences(folder.filePath(QStringLiteral("Quotamind.conf")));
    preferences.setBool(LimitNotificationManager::kEnabledKey, true);
    ManualClock clock(kNow);
    test::FakeNotificationCenter center;
    for (const auto& [used, alerts] :
         std::vector<std::pair<std::int64_t, QStringList>>{{82, {k80}}, {83, {}}, {96, {k95}}}) {
        LimitNotificationManager manager(center, clock, preferences);
        manager.setThresholdAlerts(true, {80, 95});
        test::runTask(
            manager.start(test::snapshot({test::usage("codex", {test::fiveHour(used, kReset)})})));
        EXPECT_EQ(center.pending.keys().filter(u"threshold"), alerts) << used;
    }
}

}  // namespace
