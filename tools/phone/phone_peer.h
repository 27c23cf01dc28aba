#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <optional>

#include "core/cancellation_token.h"
#include "core/system_clock.h"
#include "phone/lan_message.h"
#include "phone/lan_pairing_payload.h"

// The phone's side of the link: connects, pairs with the secret, prints every message it
// receives as one JSON line on standard output, and sends what it is asked to. finished() ends
// it, with the program's exit status.
class PhonePeer final : public QObject {
    Q_OBJECT

public:
    struct Settings {
        LanPairingPayload pairing;
        std::optional<QString> deviceModel;
        // Sent once admitted.
        bool refreshAfterPairing = false;
        std::optional<QString> apnsToken;
        std::optional<QString> apnsEnvironment;
        // Ends after this many received messages; 0 for never.
        int messageLimit = 0;
    };

    explicit PhonePeer(Settings settings, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PhonePeer)

    void connectTo(const QHostAddress& address, quint16 port);
    // One command line: "refresh", "deviceToken TOKEN [ENVIRONMENT]" or "quit".
    void runCommand(const QString& line);

Q_SIGNALS:
    // 0 when the computer admitted this peer and the link ended normally or on request.
    void finished(int status);

private:
    void onReadyRead();
    void onMessage(const LanMessage& message);
    void send(const LanMessage& message);
    void sendDeviceToken(const QString& token, const std::optional<QString>& environment);
    void finish(int status);

    Settings m_settings;
    QTcpSocket m_socket;
    QByteArray m_buffer;
    SystemClock m_clock;
    CancellationToken m_connectLimit;
    bool m_admitted = false;
    bool m_finished = false;
    int m_received = 0;
};
