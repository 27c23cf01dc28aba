#pragma once

#include <QCoreApplication>
#include <QTcpSocket>
#include <QtEndian>
#include <memory>
#include <vector>

#include "phone/lan_frame_codec.h"
#include "phone/lan_pairing_server.h"
#include "support/run_task.h"

namespace test {

// A frame header announcing `length` bytes, and a frame of raw JSON text.
inline QByteArray frameHeader(std::uint32_t length) {
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(length, bytes.data());
    return bytes;
}
inline QByteArray frameOf(const QByteArray& json) {
    return frameHeader(static_cast<std::uint32_t>(json.size())) + json;
}

// What the server reported through its callbacks, gathered on the test's thread.
struct ServerEvents {
    std::vector<LanConnectionState> states;
    std::vector<PairedPhoneInfo> phones;
    int refreshes = 0;
};

// Options for a server that does not advertise, with `bounds`.
inline LanPairingServer::Options localOptions(LanPairingServer::Bounds bounds = {},
                                              Clock* clock = nullptr) {
    return {clock, false, bounds};
}

// A started server on loopback whose callbacks are recorded.
class RunningServer {
public:
    explicit RunningServer(
        LanPairingServer::Options options = localOptions(),
        LanPairingPayload pairing = {QStringLiteral("quotamind-0123456789abcdef"),
                                     QString(64, QLatin1Char('5'))})
        : server(std::move(pairing), options), events(std::make_shared<ServerEvents>()) {
        // Posted to the test's thread; the events outlive a callback that comes late.
        auto post = [events = events](auto change) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [events, change] { change(*events); },
                Qt::QueuedConnection);
        };
        server.setCallbacks({
            [post](const LanConnectionState& s) {
                post([s](ServerEvents& e) { e.states.push_back(s); });
            },
            [post](const PairedPhoneInfo& p) {
                post([p](ServerEvents& e) { e.phones.push_back(p); });
            },
            [](Timestamp) {},
            [post] { post([](ServerEvents& e) { ++e.refreshes; }); },
        });
        server.start();
        processEventsUntil([this] { return !events->states.empty(); });
    }

    LanConnectionState::Kind lastState() const {
        return events->states.empty() ? LanConnectionState::Kind::Idle : events->states.back().kind;
    }
    bool waitForState(LanConnectionState::Kind kind) {
        return processEventsUntil([&] { return lastState() == kind; });
    }

    LanPairingServer server;
    std::shared_ptr<ServerEvents> events;
};

// A phone made of a bare socket on the test's thread, from `source` when one is given.
class RawPeer {
public:
    explicit RawPeer(quint16 port, const QHostAddress& source = {}) {
        if (!source.isNull()) {
            socket.bind(source);
        }
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            buffer.append(socket.readAll());
            for (LanMessage& message : LanFrameCodec::drain(buffer)) {
                received.push_back(std::move(message));
            }
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        QObject::connect(&socket, &QTcpSocket::errorOccurred, [this] { closed = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }

    void pair(const QString& secret) {
        LanMessage pair = LanMessage::of(LanMessageKind::Pair);
        pair.secret = secret;
        socket.write(LanFrameCodec::frame(pair));
    }
    // Waits until `count` messages came, or the connection closed.
    bool waitForMessages(std::size_t count) {
        processEventsUntil([&] { return received.size() >= count || closed; });
        return received.size() >= count;
    }
    bool waitForClose() {
        return processEventsUntil([&] { return closed; });
    }

    QTcpSocket socket;
    QByteArray buffer;
    std::vector<LanMessage> received;
    bool closed = false;
};

}  // namespace test
