#include "tray_availability.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <cstdlib>
#include <memory>

namespace {

const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

template <class Reply>
using XcbReply = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_connection_t* xcbConnection() {
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 =
        application ? application->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const QByteArray& name) {
    const XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The X screen the program's display names (":0" is screen 0, ":0.1" screen 1).
int screenNumber() {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    if (dot < 0 || dot < display.lastIndexOf(':')) {
        return 0;
    }
    bool ok = false;
    const int number = display.mid(dot + 1).toInt(&ok);
    return ok && number >= 0 ? number : 0;
}

}  // namespace

TrayAvailability::TrayAvailability(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

TrayAvailability::~TrayAvailability() {
    if (m_trayAtom != XCB_ATOM_NONE && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void TrayAvailability::start() {
    startXEmbed();
    if (!m_bus.isConnected()) {
        return;
    }
    m_watcherService.setConnection(m_bus);
    m_watcherService.setWatchMode(QDBusServiceWatcher::WatchForRegistration);
    m_watcherService.addWatchedService(kWatcherService);
    connect(&m_watcherService, &QDBusServiceWatcher::serviceRegistered, this,
            &TrayAvailability::askWatcher);
    m_bus.connect(kWatcherService, kWatcherPath, kWatcherService,
                  QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(hostRegistered()));
    askWatcher();
}

void TrayAvailability::askWatcher() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    get.setAutoStartService(false);
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(get, kCallTimeoutMilliseconds), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *done;
        if (reply.isError()) {
            return;  // No watcher yet: its arrival is followed.
        }
        const QVariant registered = reply.value().variant();
        if (registered.metaType() == QMetaType::fromType<bool>() && registered.toBool()) {
            hostRegistered();
        }
    });
}

void TrayAvailability::hostRegistered() {
    if (m_hasStatusNotifierHost) {
        return;
    }
    m_hasStatusNotifierHost = true;
    found();
    // Qt now shows the icon as a StatusNotifierItem, which no XEmbed tray's colours concern.
    if (m_trayForeground) {
        Q_EMIT trayForegroundChanged();
    }
}

void TrayAvailability::found() {
    if (!m_available) {
        m_available = true;
        Q_EMIT trayAppeared();
    }
}

std::optional<QColor> TrayAvailability::trayForeground() const {
    return m_hasStatusNotifierHost ? std::nullopt : m_trayForeground;
}

void TrayAvailability::startXEmbed() {
    xcb_connection_t* connection = xcbConnection();
    if (!connection) {
        return;  // Not X11: only StatusNotifierItem hosts exist.
    }
    m_trayAtom = internAtom(connection, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber()));
    m_managerAtom = internAtom(connection, "MANAGER");
    m_colorsAtom = internAtom(connection, "_NET_SYSTEM_TRAY_COLORS");
    if (m_trayAtom == XCB_ATOM_NONE) {
        return;
    }
    // Qt listens to the root window's structure events, which carry a new tray's MANAGER message.
    QCoreApplication::instance()->installNativeEventFilter(this);
    const XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, m_trayAtom),
                                      nullptr),
        &std::free);
    if (owner && owner->owner != XCB_WINDOW_NONE) {
        followXEmbedTray(owner->owner);
    }
}

void TrayAvailability::followXEmbedTray(quint32 owner) {
    xcb_connection_t* connection = xcbConnection();
    if (!connection || owner == XCB_WINDOW_NONE) {
        return;
    }
    m_trayOwner = owner;
    // Added to whatever this connection already hears from that window (Qt listens to it too).
    const XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, owner),
                                        nullptr),
        &std::free);
    if (attributes) {
        const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection, owner, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection);
    }
    readTrayColors();
    found();
}

void TrayAvailability::readTrayColors() {
    xcb_connection_t* connection = xcbConnection();
    if (!connection || m_colorsAtom == XCB_ATOM_NONE) {
        return;
    }
    // Twelve cardinals: foreground, error, warning and success, each as red, green, blue in
    // 0…65535. Only the foreground matters here.
    const XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, m_trayOwner, m_colorsAtom, XCB_ATOM_CARDINAL, 0, 12),
            nullptr),
        &std::free);
    std::optional<QColor> foreground;
    if (reply && reply->format == 32 && reply->value_len >= 3) {
        const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        if (values[0] <= 0xffff && values[1] <= 0xffff && values[2] <= 0xffff) {
            foreground =
                QColor::fromRgba64(static_cast<quint16>(values[0]), static_cast<quint16>(values[1]),
                                   static_cast<quint16>(values[2]));
        }
    }
    if (foreground != m_trayForeground) {
        m_trayForeground = foreground;
        Q_EMIT trayForegroundChanged();
    }
}

bool TrayAvailability::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & ~0x80) {
        case XCB_CLIENT_MESSAGE: {
            const auto* manager = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if (manager->type == m_managerAtom && manager->format == 32 &&
                manager->data.data32[1] == m_trayAtom) {
                // Followed once Qt has handled the message as well: the icon docks only into
                // a tray Qt already knows of.
                QMetaObject::invokeMethod(
                    this, [this, owner = manager->data.data32[2]] { followXEmbedTray(owner); },
                    Qt::QueuedConnection);
            }
            break;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto* changed = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (changed->window == m_trayOwner && changed->atom == m_colorsAtom) {
                readTrayColors();
            }
            break;
        }
        default:
            break;
    }
    // Qt handles these events too.
    return false;
}
