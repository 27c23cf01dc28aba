#include "notify/limit_notification_manager.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QTemporaryDir>

#include "fake_notification_center.h"
#include "platform/freedesktop_notification_center.h"
#include "support/manual_clock.h"
#include "support/notification_bus.h"
#include "support/run_task.h"

namespace {

using Status = NotificationCenter::AuthorizationStatus;

using FakeCenter = test::FakeNotificationCenter;

AgentUsage usage(AgentProvider provider, std::string name, std::vector<UsageWindow> windows) {
    AgentUsage usage;
    usage.windows = std::move(windows);
    usage.provider = std::move(provider);
    usage.agentName = std::move(name);
    return usage;
}

AgentUsageSnapshot codexFiveHourAt(Timestamp reset) {
    return AgentUsageSnapshot({usage(AgentProvider::codex(), "Codex", {{0, 18000, reset}})});
}

const QString kCodexFiveHour = QStringLiteral("limit-reset.v1.codex.18000");
const QString kStale = QStringLiteral("stale");

class LimitNotificationManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<LimitNotificationManager> manager(bool enabled, Status status) {
        m_center.status = status;
        m_center.pending = {{kStale, {}}};
        m_preferences.setBool(LimitNotificationManager::kEnabledKey, enabled);
        return std::make_unique<LimitNotificationManager>(m_center, m_clock, m_preferences);
    }
    bool stored() const { return *m_preferences.boolean(LimitNotificationManager::kEnabledKey); }

    QTemporaryDir m_folder;
    Preferences m_preferences{m_folder.filePath(QStringLiteral("Quotamind.conf"))};
    FakeCenter m_center;
    ManualClock m_clock;
    const Timestamp m_now = m_clock.now();
};

TEST_F(LimitNotificationManagerTest,
       EverySnapshotReplacesTheAlertsOfFutureFiveHourAndWeeklyWindows) {
    auto notifications = manager(true, Status::Authorized);
    test::runTask(notifications->start(std::nullopt));
    notifications->synchronize(AgentUsageSnapshot({
        usage(AgentProvider::codex(), "Codex",
              {{50, 18000, m_now + 60.75}, {100, 604800, m_now + 3600}, {9, 3600, m_now + 60}}),
        usage(AgentProvider::claude(), "Claude", {{5, 18000, m_now}, {0, 604800, m_now + 70}}),
    }));
    EXPECT_EQ(m_center.pending.keys(),
              (QStringList{QStringLiteral("limit-reset.v1.claude.604800"), kCodexFiveHour,
                           QStringLiteral("limit-reset.v1.codex.604800")}));
    EXPECT_EQ(m_center.pending[kCodexFiveHour].fireDate, m_now + 60);

    notifications->synchronize(codexFiveHourAt(m_now + 500));
    EXPECT_EQ(m_center.pending.keys(), QStringList{kCodexFiveHour});
    notifications->synchronize(std::nullopt);
    EXPECT_TRUE(m_center.pending.isEmpty());
}

TEST_F(LimitNotificationManagerTest, TheSwitchCountsOnlyWhileNotificationsAreAllowed) {
    // Any status but authorized takes the same way: a permission revoked since the last run.
    for (const Status status : {Status::Authorized, Status::Denied}) {
        const bool on = status == Status::Authorized;
        auto notifications = manager(true, status);
        test::runTask(notifications->start(codexFiveHourAt(m_now + 1)));
        EXPECT_EQ(stored(), on);
        EXPECT_EQ(m_center.pending.keys(), on ? QStringList{kCodexFiveHour} : QStringList{});
    }
    // Off: a snapshot leaves the pending requests alone.
    auto notifications = manager(false, Status::Authorized);
    notifications->synchronize(codexFiveHourAt(m_now + 1));
    EXPECT_EQ(m_center.pending.keys(), QStringList{kStale});
}

TEST_F(LimitNotificationManagerTest, EnableAsksWhenNeverAskedAndFollowsTheAnswer) {
    struct Case {
        std::optional<Status> answer;
        QStringList pending;
        std::optional<QString> error;
    };
    for (const Case& c : {Case{Status::Authorized, {kCodexFiveHour}, std::nullopt},
                          Case{Status::Denied, {}, std::nullopt},
                          Case{std::nullopt, {kStale}, QStringLiteral("No answer")}}) {
        const bool on = c.answer == Status::Authorized;
        m_center.answer = c.answer;
        auto notifications = manager(false, Status::NotDetermined);
        EXPECT_EQ(test::runTask(notifications->enable(codexFiveHourAt(m_now + 1))), on);
        EXPECT_EQ(stored(), on);
        EXPECT_EQ(m_center.pending.keys(), c.pending);
        EXPECT_EQ(notifications->lastError(), c.error);
    }
}

TEST_F(LimitNotificationManagerTest, NoticesALaterServerAndReportsAFailedAdd) {
    auto notifications = manager(false, Status::Unavailable);
    test::runTask(notifications->start(std::nullopt));
    m_center.status = Status::Authorized;
    Q_EMIT m_center.authorizationMayHaveChanged();
    EXPECT_EQ(notifications->statusTitle(), QStringLiteral("Off"));
    m_center.addError = QStringLiteral("The server is full");
    EXPECT_TRUE(test::runTask(notifications->enable(codexFiveHourAt(m_now + 1))));
    EXPECT_EQ(notifications->lastError(), m_center.addError);
}

// No server at start is no refusal: the switch stays on, and a server that appears alerts.
TEST(LimitNotificationsEndToEndTest, AnEnabledStartAlertsThroughAServerThatAppearsLater) {
    if (const QString missing = test::NotificationBus::missing(); !missing.isEmpty()) {
        GTEST_SKIP() << missing.toStdString();
    }
    test::NotificationBus bus;
    FreedesktopNotificationCenter center(bus.connection());
    QTemporaryDir folder;
    Preferences preferences(folder.filePath(QStringLiteral("Quotamind.conf")));
    preferences.setBool(LimitNotificationManager::kEnabledKey, true);
    // An hour back, so the alert is due as soon as it is scheduled.
    ManualClock clock(Timestamp::now() - 3600);
    LimitNotificationManager notifications(center, clock, preferences);
    test::runTask(notifications.start(codexFiveHourAt(clock.now() + 60)));
    EXPECT_EQ(preferences.boolean(LimitNotificationManager::kEnabledKey), true);
    ASSERT_TRUE(bus.startServer());
    ASSERT_TRUE(test::processEventsUntil([&] { return !bus.notifyCalls().isEmpty(); }));
    EXPECT_EQ(bus.notifyCalls().first()[4],
              QStringLiteral("Your 5-hour limit is available again."));
}

}  // namespace
