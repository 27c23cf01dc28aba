#include "phone_peer.h"

#include <QCoreApplication>
#include <cstdio>

#include "core/system_clock.h"
#include "core/time_limit.h"
#include "phone/lan_frame_codec.h"

namespace {

// As long as the computer's side allows a phone to take to connect.
constexpr double kConnectTimeoutSeconds = 8.0;

void printLine(FILE* stream, const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void printError(const QString& text) {
    printLine(stderr, QStringLiteral("quotamind-phone: %1").arg(text).toUtf8());
}

}  // namespace

PhonePeer::PhonePeer(Settings settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)) {
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        m_connectLimit.cancel();
        LanMessage pair = LanMessage::of(LanMessageKind::Pair);
        pair.secret = m_settings.pairing.secret;
        pair.deviceModel = m_settings.deviceModel;
        send(pair);
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_admitted) {
            printError(tr("The computer closed the connection without admitting this phone."));
        }
        finish(m_admitted ? 0 : 1);
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::RemoteHostClosedError) {
                    return;
                }
                printError(m_socket.errorString());
                finish(1);
            });
}

void PhonePeer::connectTo(const QHostAddress& address, quint16 port) {
    m_socket.connectToHost(address, port);
    QCoro::Task<> limit = runAfter(m_clock, kConnectTimeoutSeconds, m_connectLimit, [this] {
        printError(tr("The computer did not answer in time."));
        finish(1);
    });
}

void PhonePeer::runCommand(const QString& line) {
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        return;
    }
    if (words[0] == QStringLiteral("refresh")) {
        send(LanMessage::of(LanMessageKind::Refresh));
    } else if (words[0] == QStringLiteral("deviceToken") && words.size() >= 2) {
        sendDeviceToken(words[1], words.size() >= 3 ? std::optional(words[2]) : std::nullopt);
    } else if (words[0] == QStringLiteral("quit")) {
        finish(m_admitted ? 0 : 1);
    } else {
        printError(tr("Unknown command “%1”: use refresh, deviceToken TOKEN [ENVIRONMENT] or "
                      "quit.")
                       .arg(words[0]));
    }
}

void PhonePeer::onReadyRead() {
    m_buffer.append(m_socket.readAll());
    std::vector<LanMessage> messages;
    try {
        messages = LanFrameCodec::drain(m_buffer);
    } catch (const Error& error) {
        printError(error.errorString());
        finish(1);
        return;
    }
    for (const LanMessage& message : messages) {
        if (m_finished) {
            return;
        }
        onMessage(message);
    }
}

void PhonePeer::onMessage(const LanMessage& message) {
    printLine(stdout, QByteArray::fromStdString(message.encode()));
    ++m_received;
    if (message.kind == LanMessageKind::Paired && !m_admitted) {
        m_admitted = true;
        if (m_settings.apnsToken) {
            sendDeviceToken(*m_settings.apnsToken, m_settings.apnsEnvironment);
        }
        if (m_settings.refreshAfterPairing) {
            send(LanMessage::of(LanMessageKind::Refresh));
        }
    }
    if (m_settings.messageLimit > 0 && m_received >= m_settings.messageLimit) {
        finish(0);
    }
}

void PhonePeer::sendDeviceToken(const QString& token, const std::optional<QString>& environment) {
    LanMessage message = LanMessage::of(LanMessageKind::DeviceToken);
    message.apnsToken = token;
    message.apnsEnvironment = environment;
    send(message);
}

void PhonePeer::send(const LanMessage& message) {
    if (m_socket.state() != QAbstractSocket::ConnectedState) {
        printError(tr("Not connected."));
        return;
    }
    m_socket.write(LanFrameCodec::frame(message));
}

void PhonePeer::finish(int status) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_connectLimit.cancel();
    m_socket.disconnect(this);
    // Hands what was asked for to the system before the link ends.
    m_socket.flush();
    m_socket.disconnectFromHost();
    Q_EMIT finished(status);
}
