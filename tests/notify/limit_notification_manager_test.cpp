#include "notify/limit_notification_manager.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "fake_notification_center.h"
#include "notify/threshold_alerts.h"
#include "support/manual_clock.h"
#include "support/run_task.h"
#include "support/usage_builder.h"

namespace {

using Status = NotificationCenter::AuthorizationStatus;

AgentUsageSnapshot codexFiveHourAt(Timestamp reset) {
    return test::snapshot({test::usage("codex", {test::fiveHour(0, reset)})});
}

const QString kCodexFiveHour = QStringLiteral("limit-reset.v1.codex.18000");
const Timestamp kNow = test::kReadAt;
const Timestamp kReset = kNow + 7500;
const QString k80 = QStringLiteral("limit-threshold.v1.codex.18000.80");
const QString k95 = QStringLiteral("limit-threshold.v1.codex.18000.95");

TEST(LimitResetRequestTest, NamesTheAgentAndTheWindowAndIsDueAtTheWholeSecond) {
    AgentUsage usage = test::usage("codex", {test::weekly(10, test::kReadAt + 3600)});
    usage.agentName = "Codex CLI";
    const NotificationRequest request = limitResetRequest(usage, usage.windows[0]);
    EXPECT_EQ(request.identifier, QStringLiteral("limit-reset.v1.codex.604800"));
    EXPECT_EQ(request.title, QStringLiteral("Codex CLI limit restored"));
    EXPECT_EQ(request.body, QStringLiteral("Your weekly limit is available again."));
    EXPECT_EQ(request.fireDate, test::kReadAt + 3599.75);  // the fraction dropped
}

class LimitNotificationManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<LimitNotificationManager> manager(bool enabled, Status status) {
        center.status = status;
        center.pending = {{QStringLiteral("stale"), {}}};
        preferences.setBool(LimitNotificationManager::kEnabledKey, enabled);
        return std::make_unique<LimitNotificationManager>(center, clock, preferences);
    }
    bool stored() const { return *preferences.boolean(LimitNotificationManager::kEnabledKey); }

    QTemporaryDir folder;
    Preferences preferences{folder.filePath(QStringLiteral("Quotamind.conf"))};
    test::FakeNotificationCenter center;
    ManualClock clock;
    const Timestamp now = clock.now();
};

TEST_F(LimitNotificationManagerTest,
       EverySnapshotReplacesTheAlertsOfFutureFiveHourAndWeeklyWindows) {
    auto notifications = manager(true, Status::Authorized);
    test::runTask(notifications->start(std::nullopt));
    notifications->synchronize(test::snapshot({
        test::usage("codex", {test::fiveHour(50, now + 60), test::window(3600, 9, now + 60)}),
        test::usage("claude", {test::fiveHour(5, now), test::weekly(0, now + 70)}),
    }));
    EXPECT_EQ(center.pending.keys(),
              (QStringList{QStringLiteral("limit-reset.v1.claude.604800"), kCodexFiveHour}));
    notifications->synchronize(std::nullopt);
    EXPECT_TRUE(center.pending.isEmpty());
}

TEST_F(LimitNotificationManagerTest, TheSwitchCountsOnlyWhileNotificationsAreAllowed) {
    // A permission revoked since the last run turns the switch off.
    auto notifications = manager(true, Status::Denied);
    test::runTask(notifications->start(codexFiveHourAt(now + 1)));
    EXPECT_FALSE(stored() || !center.pending.isEmpty());
    // Off: a snapshot leaves the pending requests alone.
    notifications = manager(false, Status::Authorized);
    notifications->synchronize(codexFiveHourAt(now + 1));
    EXPECT_EQ(center.pending.size(), 1);
}

TEST_F(LimitNotificationManagerTest, EnableAsksWhenNeverAskedAndFollowsTheAnswer) {
    for (const std::optional<Status> answer :
         {std::optional(Status::Authorized), std::optional(Status::Denied),
          std::optional<Status>()}) {
        center.answer = answer;
        auto notifications = manager(false, Status::NotDetermined);
        const bool on = test::runTask(notifications->enable(codexFiveHourAt(now + 1)));
        EXPECT_EQ(on, answer == Status::Authorized);
        EXPECT_EQ(stored(), on);
        EXPECT_EQ(notifications->lastError().has_value(), !answer);
    }
}

// No server is no refusal: the switch is kept, and a server that appears is used.
TEST_F(LimitNotificationManagerTest, NoticesALaterServerAndReportsAFailedAdd) {
    auto notifications = manager(true, Status::Unavailable);
    test::runTask(notifications->start(codexFiveHourAt(now + 1)));
    EXPECT_TRUE(stored());
    center.status = Status::Authorized;
    Q_EMIT center.authorizationMayHaveChanged();
    EXPECT_EQ(center.pending.keys(), QStringList{kCodexFiveHour});
    center.addError = QStringLiteral("The server is full");
    EXPECT_TRUE(test::runTask(notifications->enable(codexFiveHourAt(now + 1))));
    EXPECT_EQ(notifications->lastError(), center.addError);
}

// A restart with the same preferences neither repeats a threshold alert nor drops the next one.
TEST_F(LimitNotificationManagerTest, ThresholdAlertsAreSaidOnceAcrossARestart) {
    for (const auto& [used, alerts] :
         std::vector<std::pair<std::int64_t, QStringList>>{{82, {k80}}, {83, {}}, {96, {k95}}}) {
        auto notifications = manager(true, Status::Authorized);
        notifications->setThresholdAlerts(true, {80, 95});
        test::runTask(notifications->start(
            test::snapshot({test::usage("codex", {test::fiveHour(used, now + 7500)})})));
        EXPECT_EQ(center.pending.keys().filter(u"threshold"), alerts) << used;
    }
}

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
