#include "lan_pairing_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUuid>
#include <deque>
#include <map>

#include "core/cancellation_token.h"
#include "core/system_clock.h"
#include "core/time_limit.h"
#include "phone/lan_frame_codec.h"
#include "phone/lan_pairing_error.h"
#include "phone/logging.h"
#include "platform/dnssd/dnssd_publisher.h"

namespace {

const QString kServiceType = QStringLiteral("_quotamind._tcp");
// One receive takes at most this much, as a phone's stack would deliver it.
constexpr qint64 kReceiveChunkBytes = 65536;
// Delays before listening is tried again: 1 s, doubling to at most 60 s.
constexpr double kFirstListenRetrySeconds = 1;
constexpr double kLongestListenRetrySeconds = 60;

QString rejectedText() {
    return QCoreApplication::translate("LanPairingServer", "Pairing code was rejected.");
}

QString invalidMessageText() {
    return QCoreApplication::translate("LanPairingServer", "Invalid pairing message.");
}

// Keep-alive finds a phone that vanished from the network (idle 10 s, then 3 probes 5 s apart);
// no-delay sends each small frame at once.
void setTcpOptions(qintptr descriptor) {
    const int fd = static_cast<int>(descriptor);
    const int on = 1;
    const int idleSeconds = 10;
    const int intervalSeconds = 5;
    const int probes = 3;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Secrets are compared without an early exit, so the time taken does not tell how much of a
// guess was right. Their length is no secret.
bool equalInConstantTime(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

// The address a connection comes from, an IPv4 address in its own form even when it reached the
// dual-stack listener as an IPv4-mapped IPv6 address.
QHostAddress sourceAddress(const QTcpSocket& socket) {
    const QHostAddress address = socket.peerAddress();
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4) : address;
}

}  // namespace

// The server's state and work, on the server's thread only.
class LanPairingServerEngine final : public QObject {
public:
    using Options = LanPairingServer::Options;

    LanPairingServerEngine(LanPairingPayload pairing, Options options,
                           std::function<void(quint16)> onListening)
        : m_pairing(std::move(pairing)),
          m_secret(m_pairing.secret.toUtf8()),
          m_clock(options.clock != nullptr ? *options.clock : m_systemClock),
          m_advertise(options.advertise),
          m_bounds(options.bounds),
          m_port(options.port),
          m_onListening(std::move(onListening)) {}

    void setCallbacks(LanPairingServer::Callbacks callbacks) { m_callbacks = std::move(callbacks); }

    void start();
    void stop();
    void publish(const AgentUsageSnapshot& snapshot);
    // Before the thread ends: stops, and lets every cancelled wait finish on this thread.
    void shutDown();

private:
    struct Peer {
        QUuid id;
        QTcpSocket* socket = nullptr;
        QHostAddress source;
        // Order of arrival: the oldest unpaired connection makes room first.
        std::uint64_t arrival = 0;
        QByteArray buffer;
        bool isPaired = false;
        CancellationToken pairingDeadline;
        // While it runs, refresh requests are not answered at once; one that came meanwhile is
        // answered when it ends.
        CancellationToken refreshSpacing;
        bool isRefreshSpaced = false;
        bool isRefreshPending = false;
        // Bytes given to the socket, and bytes the socket has handed to the system.
        qint64 queued = 0;
        qint64 written = 0;
        // Where each usage message ends in the stream, for onSnapshotSent.
        std::deque<qint64> usageEnds;
    };

    enum class Close { Now, AfterReply };

    void accept();
    void makeRoomFor(const QHostAddress& source);
    void receive(const QUuid& id);
    void handle(Peer& peer, const LanMessage& message);
    void answerRefresh(Peer& peer);
    void endRefreshSpacing(const QUuid& id);
    void listenFailed(const QString& failure);
    void send(Peer& peer, const QByteArray& frame, bool isUsage);
    void sendMessage(Peer& peer, const LanMessage& message);
    void onBytesWritten(const QUuid& id, qint64 bytes);
    // Answers with an error message, then drops the connection.
    void reject(Peer& peer, const QString& text);
    void remove(const QUuid& id, Close close = Close::Now);
    void closeAfterReply(QTcpSocket* socket);
    void resetAndDelete(QTcpSocket* socket);
    void onAdvertisingChanged();

    bool hasPairedPeer() const;
    LanConnectionState currentState() const;
    void report(const LanConnectionState& state);

    const LanPairingPayload m_pairing;
    const QByteArray m_secret;
    SystemClock m_systemClock;
    Clock& m_clock;
    const bool m_advertise;
    const LanPairingServer::Bounds m_bounds;
    const quint16 m_port;
    std::function<void(quint16)> m_onListening;
    LanPairingServer::Callbacks m_callbacks;

    QTcpServer* m_listener = nullptr;
    // Why there is no listener, while start() keeps trying again.
    std::optional<QString> m_listenFailure;
    CancellationToken m_listenRetry;
    double m_listenRetrySeconds = kFirstListenRetrySeconds;
    std::uint64_t m_arrivals = 0;
    std::unique_ptr<DnsSdPublisher> m_publisher;
    std::optional<QString> m_advertisingFailure;
    std::map<QUuid, std::unique_ptr<Peer>> m_peers;
    std::optional<AgentUsageSnapshot> m_latestSnapshot;
    // The usage frame of the latest snapshot, made once per publish; empty when it cannot be made.
    QByteArray m_latestFrame;
    // Connections closing after their error reply, each with the limit on how long that may take.
    std::map<QTcpSocket*, CancellationToken> m_closing;
};

void LanPairingServerEngine::start() {
    if (m_listener != nullptr) {
        return;
    }
    m_listenRetry.cancel();
    auto* listener = new QTcpServer(this);
    // Every IPv4 and IPv6 interface, on a port the system picks unless one was given.
    if (!listener->listen(QHostAddress::Any, m_port)) {
        const QString failure = listener->errorString();
        delete listener;
        listenFailed(failure);
        return;
    }
    m_listener = listener;
    m_listenFailure.reset();
    m_listenRetrySeconds = kFirstListenRetrySeconds;
    connect(listener, &QTcpServer::newConnection, this, [this] { accept(); });
    connect(listener, &QTcpServer::acceptError, this, [this] {
        // The listener is given up and made anew later; admitted phones stay.
        const QString failure = m_listener->errorString();
        m_publisher.reset();
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
        m_onListening(0);
        listenFailed(failure);
    });
    m_advertisingFailure.reset();
    if (m_advertise) {
        m_publisher = std::make_unique<DnsSdPublisher>(m_pairing.serviceName, kServiceType,
                                                       listener->serverPort());
        connect(m_publisher.get(), &DnsSdPublisher::stateChanged, this,
                [this] { onAdvertisingChanged(); });
    }
    m_onListening(listener->serverPort());
    report(currentState());
}

void LanPairingServerEngine::listenFailed(const QString& failure) {
    qCWarning(lcPhone).noquote() << "cannot listen for the phone:" << failure << "- trying again in"
                                 << m_listenRetrySeconds << "s";
    m_listenFailure = failure;
    report(currentState());
    m_listenRetry = CancellationToken();
    QCoro::Task<> retry =
        runAfter(m_clock, m_listenRetrySeconds, m_listenRetry, [this] { start(); });
    m_listenRetrySeconds = std::min(m_listenRetrySeconds * 2, kLongestListenRetrySeconds);
}

void LanPairingServerEngine::stop() {
    m_listenRetry.cancel();
    m_listenFailure.reset();
    m_listenRetrySeconds = kFirstListenRetrySeconds;
    m_publisher.reset();
    m_advertisingFailure.reset();
    if (m_listener != nullptr) {
        m_listener->close();
        delete m_listener;
        m_listener = nullptr;
        m_onListening(0);
    }
    std::map<QUuid, std::unique_ptr<Peer>> peers;
    peers.swap(m_peers);
    for (auto& [id, peer] : peers) {
        peer->pairingDeadline.cancel();
        peer->refreshSpacing.cancel();
        peer->socket->disconnect(this);
        resetAndDelete(peer->socket);
    }
    std::map<QTcpSocket*, CancellationToken> closing;
    closing.swap(m_closing);
    for (auto& [socket, limit] : closing) {
        limit.cancel();
        socket->disconnect(this);
        resetAndDelete(socket);
    }
    report(LanConnectionState{});
}

void LanPairingServerEngine::shutDown() {
    stop();
    // Cancelled waits resume from this thread's event loop, which is about to end.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void LanPairingServerEngine::publish(const AgentUsageSnapshot& snapshot) {
    m_latestSnapshot = snapshot.syncedFromDesktop();
    try {
        m_latestFrame = LanFrameCodec::frame(LanMessage::usageMessage(*m_latestSnapshot));
    } catch (const Error&) {
        // Too large or not encodable: nobody gets it, the connections stay.
        m_latestFrame.clear();
        return;
    }
    // Sending may drop a peer, which changes the map.
    std::vector<QUuid> paired;
    for (const auto& [id, peer] : m_peers) {
        if (peer->isPaired) {
            paired.push_back(id);
        }
    }
    for (const QUuid& id : paired) {
        if (const auto found = m_peers.find(id); found != m_peers.end()) {
            send(*found->second, m_latestFrame, true);
        }
    }
}

void LanPairingServerEngine::accept() {
    while (m_listener != nullptr && m_listener->hasPendingConnections()) {
        QTcpSocket* socket = m_listener->nextPendingConnection();
        socket->setParent(this);
        const QHostAddress source = sourceAddress(*socket);
        makeRoomFor(source);
        setTcpOptions(socket->socketDescriptor());
        socket->setReadBufferSize(kReceiveChunkBytes);
        auto peer = std::make_unique<Peer>();
        const QUuid id = QUuid::createUuid();
        peer->id = id;
        peer->socket = socket;
        peer->source = source;
        peer->arrival = ++m_arrivals;
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { receive(id); });
        connect(socket, &QTcpSocket::bytesWritten, this,
                [this, id](qint64 bytes) { onBytesWritten(id, bytes); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { remove(id); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, id] { remove(id); });
        // A connection that has not paired in time is closed, so that idle or slow peers cannot
        // hold the unpaired places. The wait is dropped: it ends itself when cancelled.
        QCoro::Task<> deadline = runAfter(m_clock, m_bounds.pairingDeadlineSeconds,
                                          peer->pairingDeadline, [this, id] { remove(id); });
        m_peers.emplace(id, std::move(peer));
        // Bytes may have come with the connection.
        if (socket->bytesAvailable() > 0) {
            receive(id);
        }
    }
}

void LanPairingServerEngine::makeRoomFor(const QHostAddress& source) {
    // First the share of the new connection's address, then all the places: closing the oldest
    // keeps a host that opens connections without end from keeping a phone out.
    for (const bool fromSource : {true, false}) {
        const Peer* oldest = nullptr;
        int count = 0;
        for (const auto& [id, peer] : m_peers) {
            if (peer->isPaired || (fromSource && peer->source != source)) {
                continue;
            }
            ++count;
            if (oldest == nullptr || peer->arrival < oldest->arrival) {
                oldest = peer.get();
            }
        }
        const int bound = fromSource ? m_bounds.maxUnpairedConnectionsPerAddress
                                     : m_bounds.maxUnpairedConnections;
        if (oldest != nullptr && count >= bound) {
            remove(oldest->id);
        }
    }
}

void LanPairingServerEngine::receive(const QUuid& id) {
    for (;;) {
        const auto found = m_peers.find(id);
        if (found == m_peers.end()) {
            return;
        }
        Peer& peer = *found->second;
        if (peer.socket->bytesAvailable() <= 0) {
            return;
        }
        peer.buffer.append(peer.socket->read(kReceiveChunkBytes));
        std::vector<LanMessage> messages;
        try {
            messages = LanFrameCodec::drain(peer.buffer);
        } catch (const Error&) {
            reject(peer, invalidMessageText());
            return;
        }
        for (const LanMessage& message : messages) {
            const auto current = m_peers.find(id);
            if (current == m_peers.end()) {
                return;
            }
            handle(*current->second, message);
        }
    }
}

void LanPairingServerEngine::handle(Peer& peer, const LanMessage& message) {
    if (!peer.isPaired) {
        if (message.kind != LanMessageKind::Pair || !message.secret ||
            !equalInConstantTime(message.secret->toUtf8(), m_secret)) {
            // Debug only: any host on the network can cause this as often as it likes.
            qCDebug(lcPhone).noquote()
                << "refused a connection without the pairing code from" << peer.source.toString();
            reject(peer, rejectedText());
            return;
        }
        qCInfo(lcPhone).noquote() << "a phone paired from" << peer.source.toString();
        peer.isPaired = true;
        peer.pairingDeadline.cancel();
        if (m_callbacks.onPhonePaired) {
            m_callbacks.onPhonePaired(
                PairedPhoneInfo{PairedPhoneInfo::modelFrom(message.deviceModel), m_clock.now()});
        }
        const QUuid id = peer.id;
        sendMessage(peer, LanMessage::paired());
        if (m_latestSnapshot && !m_latestFrame.isEmpty() && m_peers.contains(id)) {
            send(peer, m_latestFrame, true);
        }
        report(currentState());
        return;
    }
    if (message.kind == LanMessageKind::Refresh) {
        if (peer.isRefreshSpaced) {
            peer.isRefreshPending = true;
        } else {
            answerRefresh(peer);
        }
    }
    // Every other kind from an admitted phone (deviceToken included) is ignored.
}

void LanPairingServerEngine::answerRefresh(Peer& peer) {
    // A phone that asks without end would otherwise cost a frame and a job for the owner each time.
    peer.isRefreshSpaced = true;
    const QUuid id = peer.id;
    QCoro::Task<> spacing = runAfter(m_clock, m_bounds.refreshSpacingSeconds, peer.refreshSpacing,
                                     [this, id] { endRefreshSpacing(id); });
    if (m_latestSnapshot && !m_latestFrame.isEmpty()) {
        send(peer, m_latestFrame, true);
    }
    if (m_callbacks.onRefreshRequested) {
        m_callbacks.onRefreshRequested();
    }
}

void LanPairingServerEngine::endRefreshSpacing(const QUuid& id) {
    const auto found = m_peers.find(id);
    if (found == m_peers.end()) {
        return;
    }
    Peer& peer = *found->second;
    peer.isRefreshSpaced = false;
    if (std::exchange(peer.isRefreshPending, false)) {
        answerRefresh(peer);
    }
}

void LanPairingServerEngine::sendMessage(Peer& peer, const LanMessage& message) {
    QByteArray frame;
    try {
        frame = LanFrameCodec::frame(message);
    } catch (const Error&) {
        return;
    }
    send(peer, frame, message.kind == LanMessageKind::Usage);
}

void LanPairingServerEngine::send(Peer& peer, const QByteArray& frame, bool isUsage) {
    // A peer that does not read would make the queue grow with every snapshot.
    if (peer.socket->bytesToWrite() + frame.size() > m_bounds.maxQueuedBytesPerConnection) {
        remove(peer.id);
        return;
    }
    if (peer.socket->write(frame) != frame.size()) {
        remove(peer.id);
        return;
    }
    peer.queued += frame.size();
    if (isUsage) {
        peer.usageEnds.push_back(peer.queued);
    }
}

void LanPairingServerEngine::onBytesWritten(const QUuid& id, qint64 bytes) {
    const auto found = m_peers.find(id);
    if (found == m_peers.end()) {
        return;
    }
    Peer& peer = *found->second;
    peer.written += bytes;
    while (!peer.usageEnds.empty() && peer.usageEnds.front() <= peer.written) {
        peer.usageEnds.pop_front();
        if (m_callbacks.onSnapshotSent) {
            m_callbacks.onSnapshotSent(m_clock.now());
        }
    }
}

void LanPairingServerEngine::reject(Peer& peer, const QString& text) {
    sendMessage(peer, LanMessage::errorMessage(text));
    remove(peer.id, Close::AfterReply);
}

void LanPairingServerEngine::remove(const QUuid& id, Close close) {
    const auto found = m_peers.find(id);
    if (found == m_peers.end()) {
        return;
    }
    std::unique_ptr<Peer> peer = std::move(found->second);
    m_peers.erase(found);
    peer->pairingDeadline.cancel();
    peer->refreshSpacing.cancel();
    peer->socket->disconnect(this);
    if (close == Close::AfterReply) {
        closeAfterReply(peer->socket);
    } else {
        resetAndDelete(peer->socket);
    }
    report(currentState());
}

void LanPairingServerEngine::resetAndDelete(QTcpSocket* socket) {
    // A reset, not a close: the system would otherwise keep trying to deliver what is queued
    // for a peer that does not read, holding its memory long after the connection is gone.
    if (socket->state() == QAbstractSocket::ConnectedState) {
        const linger reset{1, 0};
        ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset,
                     sizeof reset);
    }
    socket->abort();
    socket->deleteLater();
}

void LanPairingServerEngine::closeAfterReply(QTcpSocket* socket) {
    // The reply is not awaited, but it is given the pairing deadline to leave before the
    // connection is cut, so that a peer that does not read cannot keep it open.
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    CancellationToken limit;
    m_closing.emplace(socket, limit);
    auto finish = [this, socket] {
        const auto found = m_closing.find(socket);
        if (found == m_closing.end()) {
            return;
        }
        found->second.cancel();
        m_closing.erase(found);
        socket->disconnect(this);
        resetAndDelete(socket);
    };
    connect(socket, &QTcpSocket::disconnected, this, finish);
    QCoro::Task<> wait = runAfter(m_clock, m_bounds.pairingDeadlineSeconds, limit, finish);
}

void LanPairingServerEngine::onAdvertisingChanged() {
    std::optional<QString> failure;
    if (m_publisher && m_publisher->state() == DnsSdPublisher::State::Failed) {
        failure = m_publisher->failure();
    }
    if (failure == m_advertisingFailure) {
        return;
    }
    if (failure) {
        qCWarning(lcPhone).noquote() << "cannot announce the computer on the network:" << *failure;
    }
    m_advertisingFailure = failure;
    report(currentState());
}

bool LanPairingServerEngine::hasPairedPeer() const {
    for (const auto& [id, peer] : m_peers) {
        if (peer->isPaired) {
            return true;
        }
    }
    return false;
}

LanConnectionState LanPairingServerEngine::currentState() const {
    if (hasPairedPeer()) {
        return {LanConnectionState::Kind::Connected, {}};
    }
    if (m_listenFailure) {
        return LanConnectionState::failed(*m_listenFailure);
    }
    // Phones find the computer only through DNS-SD: while it cannot advertise, pairing is
    // unavailable even though connections are still taken.
    if (m_advertisingFailure) {
        return LanConnectionState::failed(*m_advertisingFailure);
    }
    return {LanConnectionState::Kind::Advertising, {}};
}

void LanPairingServerEngine::report(const LanConnectionState& state) {
    if (m_callbacks.onStateChange) {
        m_callbacks.onStateChange(state);
    }
}

LanPairingServer::LanPairingServer(LanPairingPayload pairing, Options options)
    : m_pairing(pairing), m_thread(std::make_unique<QThread>()) {
    m_thread->setObjectName(QStringLiteral("com.brindlecove.Quotamind.lan-server"));
    m_engine = new LanPairingServerEngine(std::move(pairing), options, [this](quint16 port) {
        m_port.store(port);
        if (port != 0) {
            // Dropped with this object if it is gone by then.
            QMetaObject::invokeMethod(
                this, [this, port] { Q_EMIT listening(port); }, Qt::QueuedConnection);
        }
    });
    m_engine->moveToThread(m_thread.get());
    m_thread->start();
}

LanPairingServer::~LanPairingServer() {
    LanPairingServerEngine* engine = m_engine;
    QMetaObject::invokeMethod(
        engine,
        [engine] {
            engine->shutDown();
            delete engine;
        },
        Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

void LanPairingServer::setCallbacks(Callbacks callbacks) {
    LanPairingServerEngine* engine = m_engine;
    QMetaObject::invokeMethod(
        engine, [engine, callbacks = std::move(callbacks)] { engine->setCallbacks(callbacks); },
        Qt::QueuedConnection);
}

void LanPairingServer::start() {
    LanPairingServerEngine* engine = m_engine;
    QMetaObject::invokeMethod(
        engine, [engine] { engine->start(); }, Qt::QueuedConnection);
}

void LanPairingServer::stop() {
    LanPairingServerEngine* engine = m_engine;
    QMetaObject::invokeMethod(
        engine, [engine] { engine->stop(); }, Qt::QueuedConnection);
}

void LanPairingServer::publish(const AgentUsageSnapshot& snapshot) {
    LanPairingServerEngine* engine = m_engine;
    QMetaObject::invokeMethod(
        engine, [engine, snapshot] { engine->publish(snapshot); }, Qt::QueuedConnection);
}
