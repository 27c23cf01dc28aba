#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <memory>

class AvahiConnection;

// Finds the host address and port of one DNS-SD service by name, type and the domain "local."
// through the Avahi daemon, as avahi-browse -r does. Resolution starts at once and is retried
// until found() or until the owner gives up (destroying the object ends it). Results of the Avahi
// thread are posted to the thread that made the object, which needs an event loop.
class DnsSdResolver final : public QObject {
    Q_OBJECT

public:
    DnsSdResolver(const QString& name, const QString& type, QObject* parent = nullptr);
    ~DnsSdResolver() override;
    Q_DISABLE_COPY_MOVE(DnsSdResolver)

    // Why the last attempt failed (no daemon, not found yet), for a message once the owner
    // gives up.
    QString lastFailure() const { return m_lastFailure; }

Q_SIGNALS:
    // Emitted once; an IPv6 link-local address carries its interface as scope.
    void found(const QHostAddress& address, quint16 port);

private:
    struct Lookup;

    std::shared_ptr<Lookup> m_lookup;
    std::unique_ptr<AvahiConnection> m_connection;
    QString m_lastFailure;
};
