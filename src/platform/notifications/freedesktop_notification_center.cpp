#include "freedesktop_notification_center.h"

#include <QCoro/QCoroDBusPendingCall>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>

#include "core/error.h"

namespace {

QDBusMessage busCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

}  // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection bus, QObject* parent)
    : NotificationCenter(parent),
      m_bus(std::move(bus)),
      m_watcher(kService, m_bus, QDBusServiceWatcher::WatchForRegistration) {
    connect(&m_watcher, &QDBusServiceWatcher::serviceRegistered, this,
            &NotificationCenter::authorizationMayHaveChanged);
    // Any sender: naming the service would make Qt look its owner up with a blocking call.
    // Signatures written normalized, so Qt need not normalize them at each connection.
    // clang-format off
    m_bus.connect(QString(), kPath, kService, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint,QString)));
    m_bus.connect(QString(), kPath, kService, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint,uint)));
    // clang-format on
}

QCoro::Task<NotificationCenter::AuthorizationStatus>
FreedesktopNotificationCenter::authorizationStatus() {
    if (!m_bus.isConnected()) {
        co_return AuthorizationStatus::Unavailable;
    }
    QPointer<FreedesktopNotificationCenter> self(this);
    const QDBusPendingCall owner = m_bus.asyncCall(
        busCall(QStringLiteral("NameHasOwner")) << kService, kCallTimeoutMilliseconds);
    const QDBusPendingReply<bool> owned = co_await owner;
    if (owned.isValid() && owned.value()) {
        co_return AuthorizationStatus::Authorized;
    }
    if (!self) {
        co_return AuthorizationStatus::Unavailable;
    }
    // A server the bus starts on demand (a D-Bus service file) counts as there: at login it may
    // simply not have been needed yet.
    const QDBusPendingCall activatable =
        m_bus.asyncCall(busCall(QStringLiteral("ListActivatableNames")), kCallTimeoutMilliseconds);
    const QDBusPendingReply<QStringList> names = co_await activatable;
    if (names.isValid() && names.value().contains(kService)) {
        co_return AuthorizationStatus::Authorized;
    }
    co_return AuthorizationStatus::Unavailable;
}

QCoro::Task<> FreedesktopNotificationCenter::requestAuthorization() {
    // There is no question to ask: a running server shows whatever it is sent.
    co_return;
}

void FreedesktopNotificationCenter::add(NotificationRequest request, Completion completion) {
    const QString identifier = request.identifier;
    const Timestamp instant = request.fireDate;
    try {
        m_scheduler.schedule(identifier, instant, [this, request = std::move(request), completion] {
            deliver(request, completion);
        });
    } catch (const PlatformError& error) {
        QMetaObject::invokeMethod(
            this, [completion, text = error.errorString()] { completion(text); },
            Qt::QueuedConnection);
    }
}

void FreedesktopNotificationCenter::removeAllPendingRequests() {
    m_scheduler.cancelAll();
}

void FreedesktopNotificationCenter::deliver(const NotificationRequest& request,
                                            const Completion& completion) {
    // A call on no bus would never finish.
    if (!m_bus.isConnected()) {
        completion(tr("There is no session bus to show notifications on."));
        return;
    }
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), kDesktopEntry},
        {QStringLiteral("x-quotamind-identifier"), request.identifier},
        {QStringLiteral("x-quotamind-thread-identifier"), request.threadIdentifier},
        {QStringLiteral("x-quotamind-user-info"), request.userInfo},
    };
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    notify << QStringLiteral("Quotamind") << m_shown.value(request.identifier, 0u) << kDesktopEntry
           << request.title << request.body
           << QStringList{QStringLiteral("default"), tr("Open Quotamind")} << hints << -1;
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(notify, kCallTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, identifier = request.identifier, completion](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isError()) {
                    const QDBusError error = reply.error();
                    completion(error.message().isEmpty() ? error.name() : error.message());
                    return;
                }
                m_shown.insert(identifier, reply.value());
                completion(std::nullopt);
            });
}

void FreedesktopNotificationCenter::onActionInvoked(uint id, const QString& action) {
    const QString identifier = m_shown.key(id);
    if (action == QLatin1String("default") && !identifier.isEmpty()) {
        Q_EMIT defaultActionInvoked(identifier);
    }
}

void FreedesktopNotificationCenter::onNotificationClosed(uint id, uint reason) {
    Q_UNUSED(reason);
    m_shown.remove(m_shown.key(id));
}
