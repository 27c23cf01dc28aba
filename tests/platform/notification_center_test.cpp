#include <gtest/gtest.h>

#include <cmath>

#include "platform/notifications/freedesktop_notification_center.h"
#include "platform/wall_clock_scheduler.h"
#include "support/notification_bus.h"

namespace {

using Status = NotificationCenter::AuthorizationStatus;

NotificationRequest request(const QString& identifier, double secondsFromNow,
                            const QString& body = QStringLiteral("body")) {
    return {identifier, {}, body, {}, {}, Timestamp::now() + secondsFromNow};
}

// The completions of the requests added through it.
struct Outcomes {
    std::vector<std::optional<QString>> errors;
    NotificationCenter::Completion record() {
        return [this](std::optional<QString> error) { errors.push_back(std::move(error)); };
    }
    bool waitFor(std::size_t count) {
        return test::processEventsUntil([&] { return errors.size() >= count; });
    }
};

TEST(WallClockSchedulerTest, RunsThousandsOfPastInstantsFromTheEventLoopAndKeepsTheUnreachable) {
    WallClockScheduler scheduler;
    int runs = 0;
    for (int i = 0; i < 3000; ++i) {
        scheduler.schedule(QString::number(i), Timestamp(-1e300), [&runs] { ++runs; });
    }
    for (const double never : {1e300, std::nan("")}) {
        scheduler.schedule(QString::number(never), Timestamp(never), [&runs] { runs += 10000; });
    }
    EXPECT_EQ(runs, 0);
    ASSERT_TRUE(test::processEventsUntil([&] { return runs >= 3000; }));
    EXPECT_EQ(runs, 3000);
    EXPECT_EQ(scheduler.pendingCount(), 2u);
}

TEST(FreedesktopNotificationCenterTest, WithoutABusIsUnavailableAndReportsEveryDelivery) {
    FreedesktopNotificationCenter center(QDBusConnection(QStringLiteral("no bus")));
    EXPECT_EQ(test::runTask(center.authorizationStatus()), Status::Unavailable);
    Outcomes outcomes;
    center.add(request(QStringLiteral("a"), -1), outcomes.record());
    ASSERT_TRUE(outcomes.waitFor(1));
    EXPECT_TRUE(outcomes.errors[0].has_value());
}

TEST(NotificationServerTest, NoticesALaterServerDeliversOnceInTheLatestFormAndReportsErrors) {
    if (const QString missing = test::NotificationBus::missing(); !missing.isEmpty()) {
        GTEST_SKIP() << missing.toStdString();
    }
    test::NotificationBus bus;
    FreedesktopNotificationCenter center(bus.connection());
    EXPECT_EQ(test::runTask(center.authorizationStatus()), Status::Unavailable);
    bool looked = false;
    QObject::connect(&center, &NotificationCenter::authorizationMayHaveChanged,
                     [&] { looked = true; });
    ASSERT_TRUE(bus.startServer());
    EXPECT_TRUE(test::processEventsUntil([&] { return looked; }));
    EXPECT_EQ(test::runTask(center.authorizationStatus()), Status::Authorized);

    Outcomes outcomes;
    center.add(request(QStringLiteral("withdrawn"), 0.2), outcomes.record());
    center.removeAllPendingRequests();
    center.add(request(QStringLiteral("alert"), 0.2, QStringLiteral("old")), outcomes.record());
    center.add(request(QStringLiteral("alert"), 0.3, QStringLiteral("new")), outcomes.record());
    // Due after the alert: once it is shown, a second delivery of the alert would have come first.
    center.add(request(QStringLiteral("later"), 0.5), outcomes.record());
    ASSERT_TRUE(outcomes.waitFor(2));
    const QList<QVariantList> calls = bus.notifyCalls();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0][4], QStringLiteral("new"));

    QString opened;
    QObject::connect(&center, &NotificationCenter::defaultActionInvoked,
                     [&](const QString& identifier) { opened = identifier; });
    bus.mock(QStringLiteral("EmitSignal"),
             {test::NotificationBus::kService, QStringLiteral("ActionInvoked"),
              QStringLiteral("us"), QVariantList{1u, QStringLiteral("default")}});
    EXPECT_TRUE(test::processEventsUntil([&] { return opened == QStringLiteral("alert"); }));

    // A shown alert is replaced in place.
    center.add(request(QStringLiteral("alert"), -1), outcomes.record());
    ASSERT_TRUE(outcomes.waitFor(3));
    EXPECT_EQ(bus.notifyCalls().last()[1].toUInt(), 1u);

    bus.mock(QStringLiteral("AddMethod"),
             {test::NotificationBus::kService, QStringLiteral("Notify"),
              QStringLiteral("susssasa{sv}i"), QStringLiteral("u"),
              QStringLiteral("raise dbus.exceptions.DBusException('The server is full', "
                             "name='org.freedesktop.Notifications.Error.Full')")});
    center.add(request(QStringLiteral("a"), -1), outcomes.record());
    ASSERT_TRUE(outcomes.waitFor(4));
    EXPECT_EQ(outcomes.errors,
              (std::vector<std::optional<QString>>{std::nullopt, std::nullopt, std::nullopt,
                                                   QStringLiteral("The server is full")}));
}

}  // namespace
