#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QHash>

#include "platform/notifications/notification_center.h"
#include "platform/wall_clock_scheduler.h"

// Local notifications through the freedesktop Notifications service (org.freedesktop.Notifications
// on the session bus), at wall-clock instants kept by a WallClockScheduler in this process.
//
// Permission: authorized while a server owns the name or the bus can start one on demand,
// otherwise unavailable; nothing is ever asked. authorizationMayHaveChanged() is emitted when a
// server takes the name, so one started after the program is noticed. A server leaving is not
// announced: the next delivery reports it, and the next look at the permission shows it.
//
// A request due is sent with Notify: its title and body, the program's icon and desktop entry,
// the identifier, thread identifier and user info as "x-quotamind-*" hints, and a default action.
// A request whose notification is still shown replaces it. Calls to the server are asynchronous,
// bounded by kCallTimeoutMilliseconds.
class FreedesktopNotificationCenter final : public NotificationCenter {
    Q_OBJECT

public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
    // The desktop entry and icon name of the program.
    static inline const QString kDesktopEntry = QStringLiteral("com.brindlecove.Quotamind");
    static constexpr int kCallTimeoutMilliseconds = 10000;

    explicit FreedesktopNotificationCenter(QDBusConnection bus, QObject* parent = nullptr);

    QCoro::Task<AuthorizationStatus> authorizationStatus() override;
    QCoro::Task<> requestAuthorization() override;
    void add(NotificationRequest request, Completion completion) override;
    void removeAllPendingRequests() override;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    void deliver(const NotificationRequest& request, const Completion& completion);

    QDBusConnection m_bus;
    WallClockScheduler m_scheduler;
    QDBusServiceWatcher m_watcher;
    // The server's numbers of the notifications shown and not yet closed, by request identifier.
    QHash<QString, uint> m_shown;
};
