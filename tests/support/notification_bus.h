#pragma once

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QProcess>
#include <QUuid>

#include "support/run_task.h"

namespace test {

// A private session bus on which a real notification server (python3-dbusmock's
// notification_daemon template) can be started; its org.freedesktop.DBus.Mock interface reads
// back the calls the server received and replaces its methods. missing() says why a test skips.
class NotificationBus {
public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");

    NotificationBus() {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        // The address may arrive in pieces; only a whole line is the address.
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) {
        }
        if (m_daemon.canReadLine()) {
            m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
            m_connection = QDBusConnection::connectToBus(m_address, m_name);
        }
    }
    ~NotificationBus() {
        QDBusConnection::disconnectFromBus(m_name);
        for (QProcess* process : {&m_server, &m_daemon}) {
            process->kill();
            process->waitForFinished(5000);
        }
    }

    static QString missing() {
        // Debian's interpreter, which python3-dbusmock extends (another may come first on PATH).
        const QString check = QStringLiteral(
            "command -v dbus-daemon >/dev/null && /usr/bin/python3 -c 'import dbusmock'");
        return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), check}) == 0
                   ? QString()
                   : QStringLiteral("no dbus-daemon or python3-dbusmock (install-deps --tests)");
    }

    QDBusConnection connection() const { return m_connection; }

    // Starts the server and waits (at most ten seconds) until it owns its name.
    bool startServer() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_server.setProcessEnvironment(environment);
        m_server.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                        QStringLiteral("--template"), QStringLiteral("notification_daemon")});
        QDBusServiceWatcher wakesTheLoop(kService, m_connection);
        return processEventsUntil(
            [this] { return m_connection.interface()->isServiceRegistered(kService).value(); });
    }

    QDBusMessage mock(const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kService, QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.DBus.Mock"), method);
        call.setArguments(arguments);
        return m_connection.call(call);
    }

    // The arguments of every Notify call the server received, in order.
    QList<QVariantList> notifyCalls() {
        const auto reply = mock(QStringLiteral("GetMethodCalls"), {QStringLiteral("Notify")});
        QList<QVariantList> result;
        const auto array = reply.arguments().value(0).value<QDBusArgument>();
        for (array.beginArray(); !array.atEnd(); array.endStructure()) {
            quint64 time = 0;
            result.append(QVariantList());
            array.beginStructure();
            array >> time >> result.last();
        }
        array.endArray();
        return result;
    }

private:
    QProcess m_daemon;
    QProcess m_server;
    QString m_address;
    QString m_name = QUuid::createUuid().toString();
    QDBusConnection m_connection{QString()};
};

}  // namespace test
