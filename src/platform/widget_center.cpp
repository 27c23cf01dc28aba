#include "widget_center.h"

#include <QDBusConnection>
#include <QDBusMessage>

void DBusWidgetCenter::reloadTimelines(const QString& kind) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, kSignal);
    signal << kind;
    bus.send(signal);
}
