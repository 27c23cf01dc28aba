#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <memory>

class AvahiConnection;

// One DNS-SD service registered with the Avahi daemon in the domain "local.", without TXT
// record, for as long as the object lives. The registration waits for a daemon that is not
// running and comes back after a daemon restart; on a name collision it moves to Avahi's
// alternative name ("name #2"). The object belongs to the thread that made it, which needs an
// event loop: results of the Avahi thread are posted to it, and stateChanged() is emitted there.
class DnsSdPublisher final : public QObject {
    Q_OBJECT

public:
    enum class State {
        Registering,  // sent to the daemon, not yet confirmed
        Established,  // announced under registeredName()
        Failed,       // not announced; failure() says why (it may still come, See above)
    };

    DnsSdPublisher(const QString& name, const QString& type, quint16 port,
                   QObject* parent = nullptr);
    // Returns at once; the service is withdrawn in the background, without waiting on the daemon.
    ~DnsSdPublisher() override;
    Q_DISABLE_COPY_MOVE(DnsSdPublisher)

    State state() const { return m_state; }
    QString failure() const { return m_failure; }
    // The name announced, which differs from the one asked for after a collision.
    QString registeredName() const { return m_registeredName; }

    // Waits until the services of every publisher destroyed so far are withdrawn, or until
    // `deadline`; tells whether they all are. For the end of the program.
    static bool waitForWithdrawals(QDeadlineTimer deadline);

Q_SIGNALS:
    void stateChanged();

private:
    struct Registration;

    // A result of the Avahi thread, on this object's thread.
    void apply(State state, const QString& failure, const QString& name);

    State m_state = State::Registering;
    QString m_failure;
    QString m_registeredName;
    std::shared_ptr<Registration> m_registration;
    std::unique_ptr<AvahiConnection> m_connection;
};
