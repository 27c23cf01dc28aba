// The phone link: frames through the codec, one publish reaching many phones on loopback, and the
// memory an idle paired connection costs the server.
// Run a release build: build/release/bench/phone_link_bench
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTcpSocket>
#include <atomic>
#include <memory>
#include <vector>

#include "phone/lan_frame_codec.h"
#include "phone/lan_pairing_server.h"

namespace {

const LANPairingPayload kPairing{QStringLiteral("quotamind-0123456789abcdef"),
                                 QString(64, QLatin1Char('5'))};

// A usage message whose JSON is about `bytes` long.
LANMessage messageOfSize(std::size_t bytes) {
    AgentUsage usage;
    usage.provider = {"codex"};
    usage.agentName = std::string(bytes > 160 ? bytes - 160 : 1, 'x');
    return LANMessage::usageMessage(AgentUsageSnapshot({usage}));
}

QByteArray pairFrame() {
    LANMessage pair = LANMessage::of(LANMessageKind::pair);
    pair.secret = kPairing.secret;
    return LANFrameCodec::frame(pair);
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
        LANFrameCodec::frame(messageOfSize(static_cast<std::size_t>(state.range(0))));
    const int framesPerBuffer = std::max(1, static_cast<int>((4 << 20) / frame.size()));
    const QByteArray all = frame.repeated(framesPerBuffer);
    for (auto _ : state) {
        QByteArray buffer = all;
        benchmark::DoNotOptimize(LANFrameCodec::drain(buffer));
    }
    state.SetItemsProcessed(state.iterations() * framesPerBuffer);
    state.SetBytesProcessed(state.iterations() * all.size());
}
BENCHMARK(drainFrames)
    ->Arg(200)
    ->Arg(LANFrameCodec::kMaxJsonBytes - 8)
    ->Unit(benchmark::kMillisecond);

// From publish() to the moment every one of `phones` paired phones holds the whole frame.
void publishToPhones(benchmark::State& state) {
    const int phones = static_cast<int>(state.range(0));
    LANPairingServer::Options options{nullptr, false, {}};
    options.bounds.maxUnpairedConnections = phones;
    options.bounds.maxUnpairedConnectionsPerAddress = phones;
    LANPairingServer server(kPairing, options);
    server.start();
    processEventsUntil([&] { return server.port() != 0; });
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<qint64> received(static_cast<std::size_t>(phones), 0);
    qint64 expected = 0;
    int complete = 0;
    for (int i = 0; i < phones; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        QTcpSocket* raw = socket.get();
        QObject::connect(raw, &QTcpSocket::readyRead, [&, raw, i] {
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
    const qint64 pairedBytes = LANFrameCodec::frame(LANMessage::paired()).size();
    expected = pairedBytes;
    processEventsUntil([&] { return complete == phones; });
    const AgentUsageSnapshot snapshot = *messageOfSize(1000).snapshot;
    const qint64 frameBytes =
        LANFrameCodec::frame(LANMessage::usageMessage(snapshot.syncedFromMac())).size();
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
        LANPairingServer::Options options{nullptr, false, {}};
        options.bounds.maxUnpairedConnections = connections;
        options.bounds.maxUnpairedConnectionsPerAddress = connections;
        LANPairingServer server(kPairing, options);
        std::atomic<int> paired = 0;
        server.setCallbacks({{}, [&paired](PairedPhoneInfo) { ++paired; }, {}, {}});
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
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
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

}  // namespace
