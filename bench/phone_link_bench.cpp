// The phone link: frames through the codec, one publish reaching many phones on loopback, the
// memory an idle paired connection costs the server, and the main thread's time for a paired
// phone that asks for refreshes without end.
// Run a release build: build/release/bench/phone_link_bench
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QtEndian>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "core/system_clock.h"
#include "phone/lan_frame_codec.h"
#include "phone/lan_pairing_server.h"
#include "store/phone_link.h"
#include "store/phone_services.h"
#include "store/usage_store.h"

namespace {

const LanPairingPayload kPairing{QStringLiteral("quotamind-0123456789abcdef"),
                                 QString(64, QLatin1Char('5'))};

// A usage message whose JSON is about `bytes` long.
LanMessage messageOfSize(std::size_t bytes) {
    AgentUsage usage;
    usage.provider = {"codex"};
    usage.agentName = std::string(bytes > 160 ? bytes - 160 : 1, 'x');
    return LanMessage::usageMessage(AgentUsageSnapshot({usage}));
}

QByteArray pairFrame() {
    LanMessage pair = LanMessage::of(LanMessageKind::Pair);
    pair.secret = kPairing.secret;
    return LanFrameCodec::frame(pair);
}

void processEventsUntil(const std::function<bool()>& condition) {
    const QDeadlineTimer limit(30000);
    while (!condition() && !limit.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
}

// Several reads' worth of frames, drained as the server drains a connection.
void drainFrames(benchmark::State& state) {
    const QByteArray frame =
        LanFrameCodec::frame(messageOfSize(static_cast<std::size_t>(state.range(0))));
    const int framesPerBuffer = std::max(1, static_cast<int>((4 << 20) / frame.size()));
    const QByteArray all = frame.repeated(framesPerBuffer);
    for (auto _ : state) {
        QByteArray buffer = all;
        benchmark::DoNotOptimize(LanFrameCodec::drain(buffer));
    }
    state.SetItemsProcessed(state.iterations() * framesPerBuffer);
    state.SetBytesProcessed(state.iterations() * all.size());
}
BENCHMARK(drainFrames)
    ->Arg(200)
    ->Arg(LanFrameCodec::kMaxJsonBytes - 8)
    ->Unit(benchmark::kMillisecond);

// From publish() to the moment every one of `phones` paired phones holds the whole frame.
void publishToPhones(benchmark::State& state) {
    const int phones = static_cast<int>(state.range(0));
    LanPairingServer::Options options{nullptr, false, {}};
    options.bounds.maxUnpairedConnections = phones;
    options.bounds.maxUnpairedConnectionsPerAddress = phones;
    LanPairingServer server(kPairing, options);
    server.start();
    processEventsUntil([&] { return server.port() != 0; });
    std::vector<qint64> received(static_cast<std::size_t>(phones), 0);
    qint64 expected = 0;
    int complete = 0;
    // Declared after the counters, so the sockets (and their connections) go first.
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < phones; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        QTcpSocket* raw = socket.get();
        // clazy:excludeall=lambda-in-connect
        QObject::connect(raw, &QTcpSocket::readyRead, raw, [&, raw, i] {
            qint64& count = received[static_cast<std::size_t>(i)];
            const qint64 before = count;
            count += raw->readAll().size();
            if (before < expected && count >= expected) {
                ++complete;
            }
        });
        socket->connectToHost(QHostAddress::LocalHost, server.port());
        socket->write(pairFrame());
        sockets.push_back(std::move(socket));
    }
    const qint64 pairedBytes = LanFrameCodec::frame(LanMessage::paired()).size();
    expected = pairedBytes;
    processEventsUntil([&] { return complete == phones; });
    const AgentUsageSnapshot snapshot = *messageOfSize(1000).snapshot;
    const qint64 frameBytes =
        LanFrameCodec::frame(LanMessage::usageMessage(snapshot.syncedFromDesktop())).size();
    for (auto _ : state) {
        complete = 0;
        expected += frameBytes;
        server.publish(snapshot);
        processEventsUntil([&] { return complete == phones; });
    }
}
BENCHMARK(publishToPhones)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

long residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    return statm.readAll().split(' ').value(1).toLong() * sysconf(_SC_PAGESIZE);
}

// Resident memory added by `connections` idle paired phones. The phones are bare sockets, whose
// buffers live in the kernel, so the growth is the server's.
void idleConnectionMemory(benchmark::State& state) {
    const int connections = static_cast<int>(state.range(0));
    for (auto _ : state) {
        LanPairingServer::Options options{nullptr, false, {}};
        options.bounds.maxUnpairedConnections = connections;
        options.bounds.maxUnpairedConnectionsPerAddress = connections;
        LanPairingServer server(kPairing, options);
        std::atomic<int> paired = 0;
        server.setCallbacks({{}, [&paired](const PairedPhoneInfo&) { ++paired; }, {}, {}});
        server.start();
        processEventsUntil([&] { return server.port() != 0; });
        // A first phone warms the server's allocations up.
        std::vector<int> sockets;
        const QByteArray pair = pairFrame();
        auto connectPhone = [&] {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(server.port());
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                qFatal("could not reach the pairing server");
            }
            ::send(fd, pair.constData(), static_cast<std::size_t>(pair.size()), 0);
            sockets.push_back(fd);
        };
        connectPhone();
        processEventsUntil([&] { return paired == 1; });
        const long before = residentBytes();
        for (int i = 0; i < connections; ++i) {
            connectPhone();
        }
        processEventsUntil([&] { return paired == connections + 1; });
        const long after = residentBytes();
        state.counters["bytes_per_connection"] = static_cast<double>(after - before) / connections;
        for (const int fd : sockets) {
            ::close(fd);
        }
    }
}
BENCHMARK(idleConnectionMemory)->Arg(400)->Iterations(1)->Unit(benchmark::kMillisecond);

// Sources with nothing to read and followers that do nothing, so the store's only work is the
// phone's.
class Nothing final : public CodexAppServerSource,
                      public AgentUsageSource,
                      public CodexAccount,
                      public SnapshotNotifications,
                      public WakeSender,
                      public WidgetCenter,
                      public Autostart,
                      public SecretStore {
public:
    // Fails every read, inside the task, as a source without data does.
    [[noreturn]] static void unavailable() { throw std::runtime_error("nothing to read"); }

    QCoro::Task<AgentUsage> fetchUsage(CancellationToken) override {
        unavailable();
        co_return {};
    }
    QCoro::Task<> monitorUsage(UpdateHandler, CancellationToken) override { co_return; }
    QCoro::Task<bool> isCodexInstalled() override { co_return false; }
    QCoro::Task<std::optional<CodexCredentials>> loadCredentials() override { co_return {}; }
    QCoro::Task<> saveCredentials(CodexCredentials) override { co_return; }
    QCoro::Task<> deleteCredentials() override { co_return; }
    QCoro::Task<CodexDeviceCode> requestDeviceCode(CancellationToken) override {
        unavailable();
        co_return {};
    }
    QCoro::Task<AuthorizationResponse> pollForAuthorization(CodexDeviceCode,
                                                            CancellationToken) override {
        unavailable();
        co_return {};
    }
    QCoro::Task<CodexCredentials> exchange(AuthorizationResponse, CancellationToken) override {
        unavailable();
        co_return {};
    }
    QCoro::Task<AgentUsage> fetchUsage(CodexCredentials, bool, CancellationToken) override {
        unavailable();
        co_return {};
    }
    QCoro::Task<> start(std::optional<AgentUsageSnapshot>) override { co_return; }
    void synchronize(const AgentUsageSnapshot&) override {}
    QCoro::Task<> sendWake(LanPairingPayload) override { co_return; }
    void reloadTimelines(const QString&) override {}
    bool isEnabled() const override { return false; }
    void setEnabled(bool) override {}
    QCoro::Task<std::optional<QByteArray>> find(QString, std::optional<QString>,
                                                CancellationToken) override {
        co_return {};
    }
    QCoro::Task<> save(QString, QString, QString, QByteArray, CancellationToken) override {
        co_return;
    }
    QCoro::Task<bool> remove(QString, QString, CancellationToken) override { co_return false; }
};

// Wall time the main thread spends handling events (file syncs included) while it lives: every
// event for an object of the main thread is handled inside this filter of the application, timed.
class BusyTime final : public QObject {
public:
    BusyTime() { QCoreApplication::instance()->installEventFilter(this); }
    ~BusyTime() override { QCoreApplication::instance()->removeEventFilter(this); }

    double milliseconds() const { return static_cast<double>(m_busy) / 1e6; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        QElapsedTimer handling;
        handling.start();
        const bool handled = watched->event(event);
        m_busy += handling.nsecsElapsed();
        event->setAccepted(handled);
        return true;
    }

private:
    qint64 m_busy = 0;
};

// Reads frames from a blocking socket until `count` arrived.
void readFrames(int fd, int count) {
    QByteArray buffer;
    int frames = 0;
    while (frames < count) {
        char bytes[65536];
        const ssize_t size = ::recv(fd, bytes, sizeof bytes, 0);
        if (size <= 0) {
            return;
        }
        buffer.append(bytes, size);
        frames += static_cast<int>(LanFrameCodec::drain(buffer).size());
    }
}

// The main thread's time while the store and its real pairing server handle 3,000 refresh frames
// (66 KB) from a paired phone: the first is answered at once, the rest once a second later. The
// phone is a bare socket on a thread of its own.
void refreshBurstMainThreadCost(benchmark::State& state) {
    QTemporaryDir folder;
    Nothing nothing;
    SystemClock clock;
    LanPairingServers servers(LanPairingServer::Options{nullptr, false, {}});
    {
        PhoneLink link({clock, servers, nothing, nothing,
                        Preferences(folder.filePath(QStringLiteral("standard.conf")))});
        UsageStore store(UsageStore::Services{
            clock, nothing, nothing, nothing, nothing, nothing, link, nothing, nothing,
            Preferences(folder.filePath(QStringLiteral("group.conf")))});
        QObject::connect(&link, &PhoneLink::refreshRequested, &store,
                         &UsageStore::handleRemoteRefreshRequest);
        QCoro::Task<> starting = store.start();
        processEventsUntil(
            [&] { return servers.latest() != nullptr && servers.latest()->port() != 0; });
        LanMessage pair = LanMessage::of(LanMessageKind::Pair);
        pair.secret = link.pairingPayload().secret;
        const QByteArray pairing = LanFrameCodec::frame(pair);
        const QByteArray burst =
            LanFrameCodec::frame(LanMessage::of(LanMessageKind::Refresh)).repeated(3000);
        for (auto _ : state) {
            std::atomic<bool> paired = false;
            std::atomic<bool> answered = false;
            std::thread phone([&] {
                const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_port = htons(servers.latest()->port());
                address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                    qFatal("could not reach the pairing server");
                }
                ::send(fd, pairing.constData(), static_cast<std::size_t>(pairing.size()), 0);
                readFrames(fd, 2);  // paired, the snapshot
                paired = true;
                ::send(fd, burst.constData(), static_cast<std::size_t>(burst.size()), 0);
                readFrames(fd, 2);  // the first answer, and the one a second later
                answered = true;
                ::close(fd);
            });
            processEventsUntil([&] { return paired.load(); });
            const Timestamp burstSent = clock.now();
            BusyTime busy;
            // Until the store has heard of the last answer, sleeping between events (a tick wakes
            // the loop now and then) so that only the work is counted.
            QTimer tick;
            tick.start(100);
            const QDeadlineTimer limit(30000);
            while (
                !(answered && link.lastPhoneDataSentAt().value_or(Timestamp(0)) - burstSent >= 1) &&
                !limit.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            state.counters["main_thread_ms"] = busy.milliseconds();
            phone.join();
        }
    }
    // The link writes the last delivery time as it goes; that write ends before its folder goes.
    QThreadPool::globalInstance()->waitForDone();
}
BENCHMARK(refreshBurstMainThreadCost)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
