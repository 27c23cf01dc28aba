#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QProcess>
#include <QTcpServer>
#include <array>

#include "lan_test_peer.h"
#include "platform/dnssd/dnssd_publisher.h"
#include "support/child_processes.h"
#include "support/manual_clock.h"
#include "support/usage_builder.h"

namespace {

using Kind = LanConnectionState::Kind;

const QString kSecret(64, QLatin1Char('5'));

AgentUsageSnapshot snapshotWith(std::int64_t usedPercent, std::size_t nameBytes = 5) {
    AgentUsage usage = test::usage("codex", {test::fiveHour(usedPercent)});
    usage.agentName = std::string(nameBytes, 'C');
    return AgentUsageSnapshot({usage});
}

using test::frameHeader;
using test::frameOf;

QByteArray pairFrame(const QString& secret) {
    return frameOf(R"({"kind":"pair","secret":")" + secret.toLatin1() + "\"}");
}

// A server on loopback on the manual clock, which is used on the server's thread.
struct ClockedServer {
    explicit ClockedServer(LanPairingServer::Options options = test::localOptions())
        : running([&] {
              options.clock = &clock;
              return options;
          }()) {
        clock.moveToThread(running.server.queueThread());
    }
    // Runs `action` on the server's thread and waits for it.
    void onServerThread(const std::function<void()>& action) {
        QObject context;
        context.moveToThread(running.server.queueThread());
        QThread* home = QThread::currentThread();
        QMetaObject::invokeMethod(
            &context,
            [&] {
                action();
                context.moveToThread(home);
            },
            Qt::BlockingQueuedConnection);
    }
    void advance(double seconds) {
        onServerThread([&] { clock.advance(seconds); });
    }

    ManualClock clock;
    test::RunningServer running;
};

TEST(LanPairingServer, FirstFramesAreAnsweredAsDocumentedAndTheQueueIsBounded) {
    LanPairingServer::Bounds bounds;
    bounds.maxQueuedBytesPerConnection = 1024;
    test::RunningServer running(test::localOptions(bounds));
    test::RawPeer bystander(running.server.port());
    bystander.pair(kSecret);
    ASSERT_TRUE(bystander.waitForMessages(1));

    const QString rejected = QStringLiteral("Pairing code was rejected.");
    const QString invalid = QStringLiteral("Invalid pairing message.");
    // The secret with its first or its last digit wrong: every digit counts.
    const QString firstWrong = QLatin1Char('6') + kSecret.mid(1);
    const QString lastWrong = kSecret.left(63) + QLatin1Char('6');
    const struct {
        const char* name;
        QByteArray bytes;
        std::optional<QString> error;  // nothing: admitted
    } rows[] = {
        {"right secret, no model", pairFrame(kSecret), {}},
        {"wrong first digit", pairFrame(firstWrong), rejected},
        {"wrong last digit", pairFrame(lastWrong), rejected},
        {"refresh first", frameOf(R"({"kind":"refresh"})"), rejected},
        // Which frames are refused is the codec's rule; here: a refused one is answered, then the
        // connection closed.
        {"not JSON", frameOf("{{"), invalid},
    };
    for (const auto& row : rows) {
        test::RawPeer peer(running.server.port());
        peer.socket.write(row.bytes);
        ASSERT_TRUE(peer.waitForMessages(1)) << row.name;
        EXPECT_EQ(peer.received[0],
                  row.error ? LanMessage::errorMessage(*row.error) : LanMessage::paired())
            << row.name;
        EXPECT_EQ(row.error ? peer.waitForClose() : peer.closed, row.error.has_value()) << row.name;
    }
    ASSERT_TRUE(test::processEventsUntil([&] { return running.events->phones.size() == 2; }));
    EXPECT_EQ(running.events->phones[1].model, QStringLiteral("iPhone"));
    // None of it touched the phone that was already there.
    running.server.publish(snapshotWith(1));
    ASSERT_TRUE(bystander.waitForMessages(2));
    EXPECT_EQ(bystander.received[1].kind, LanMessageKind::Usage);
    // The frame about to be queued counts too: one larger than the bound drops the peer.
    running.server.publish(snapshotWith(1, 2048));
    EXPECT_TRUE(bystander.waitForClose());
    EXPECT_EQ(bystander.received.size(), 2u);
}

TEST(LanPairingServer, UnpairedConnectionsMakeRoomOldestFirstSoAPhoneAlwaysGetsIn) {
    ClockedServer clocked;
    test::RunningServer& running = clocked.running;
    // Eight from each of four addresses take the 32 places. One more from the first address makes
    // its oldest go, one from a fifth the oldest of all, the phone from the first the next there.
    std::vector<std::unique_ptr<test::RawPeer>> peers;
    for (int i = 0; i < 35; ++i) {
        const int host = i < 32 ? i / 8 + 1 : std::array{1, 5, 1}[i - 32];
        peers.push_back(std::make_unique<test::RawPeer>(
            running.server.port(), QHostAddress(QStringLiteral("127.0.0.%1").arg(host))));
        // One after the other, so the server takes them in this order.
        ASSERT_TRUE(test::processEventsUntil(
            [&] { return peers.back()->socket.state() == QAbstractSocket::ConnectedState; }));
    }
    for (std::size_t i = peers.size(); i-- > 0;) {
        peers[i]->pair(kSecret);
        EXPECT_EQ(peers[i]->waitForMessages(1) && !peers[i]->closed, i >= 3) << i;
    }
}

TEST(LanPairingServer, AConnectionThatHasNotPairedInFiveSecondsIsClosed) {
    ClockedServer clocked;
    test::RunningServer& running = clocked.running;
    auto pendingDeadlines = [&] {
        std::size_t count = 0;
        clocked.onServerThread([&] { count = clocked.clock.pendingSleepCount(); });
        return count;
    };
    test::RawPeer slow(running.server.port());
    test::RawPeer idle(running.server.port());
    ASSERT_TRUE(test::waitUntil([&] { return pendingDeadlines() == 2; }));
    // One byte of a frame is no pairing: the deadline still holds.
    slow.socket.write(frameHeader(40).left(1));
    clocked.advance(4.9);
    idle.pair(kSecret);
    ASSERT_TRUE(idle.waitForMessages(1));
    clocked.advance(0.2);
    EXPECT_TRUE(slow.waitForClose());
    EXPECT_FALSE(idle.closed) << "a paired phone has no deadline";
}

TEST(LanPairingServer, APairedPhoneRefreshIsAnsweredAtMostOnceASecond) {
    ClockedServer clocked;
    test::RunningServer& running = clocked.running;
    running.server.publish(snapshotWith(1));
    test::RawPeer phone(running.server.port());
    phone.pair(kSecret);
    phone.socket.write(LanFrameCodec::frame(LanMessage::of(LanMessageKind::Refresh)).repeated(50));
    // paired, the latest snapshot, and the first refresh's answer.
    ASSERT_TRUE(phone.waitForMessages(3));
    clocked.advance(2.0);
    running.server.publish(snapshotWith(2));
    ASSERT_TRUE(phone.waitForMessages(5));
    // One answer between: the other 49 came once, when the first second ended; then nothing.
    EXPECT_EQ(phone.received[4].snapshot, snapshotWith(2).syncedFromDesktop());
    EXPECT_EQ(running.events->refreshes, 2);
    phone.socket.disconnectFromHost();
    ASSERT_TRUE(running.waitForState(Kind::Advertising));
    running.server.stop();
    ASSERT_TRUE(running.waitForState(Kind::Idle));
    EXPECT_EQ(running.server.port(), 0);
}

TEST(LanPairingServer, WithoutAListenerItIsFailedAndTriesAgainAfterOneToSixtySeconds) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::Any));
    LanPairingServer::Options options = test::localOptions();
    options.port = taken.serverPort();
    ClockedServer clocked(options);
    test::RunningServer& running = clocked.running;
    std::vector<double> delays;
    for (int attempt = 0; attempt < 8; ++attempt) {
        clocked.onServerThread([&] {
            delays.push_back(clocked.clock.secondsUntilNextSleep().value_or(-1));
            clocked.clock.advanceToNextSleep();
        });
    }
    EXPECT_EQ(delays, (std::vector<double>{1, 2, 4, 8, 16, 32, 60, 60}));
    QCoreApplication::processEvents();
    EXPECT_EQ(std::ranges::count(running.events->states, Kind::Failed, &LanConnectionState::kind),
              9);
    taken.close();
    clocked.advance(60);
    ASSERT_TRUE(running.waitForState(Kind::Advertising));
    EXPECT_EQ(running.server.port(), options.port);
}

TEST(LanPairingServer, ItsEndNeverWaitsOnTheAvahiDaemon) {
    // The stand-in holds the client's EntryGroup.Reset unanswered once the service is published.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    QProcess daemon;
    daemon.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(AVAHI_STAND_IN)});
    const auto isConnected = [](const QString& name) {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
    };
    if (!test::waitUntil([&] { return isConnected(QStringLiteral("org.freedesktop.Avahi")); })) {
        GTEST_SKIP() << "needs a session bus (with-session-bus), python3-dbus and python3-gi";
    }
    QDBusInterface standIn(QStringLiteral("org.freedesktop.Avahi"), QStringLiteral("/"),
                           QStringLiteral("test.AvahiStandIn"));
    QStringList held;
    {
        test::RunningServer running({nullptr, true, {}});
        ASSERT_TRUE(test::waitUntil([&] {
            held = standIn.call(QStringLiteral("HeldCallers")).arguments().value(0).toStringList();
            return !held.isEmpty();
        }));
    }
    // Gone, though its client is still there waiting for the daemon; the program's end waits no
    // more.
    EXPECT_TRUE(isConnected(held.at(0)));
    EXPECT_FALSE(DnsSdPublisher::waitForWithdrawals(QDeadlineTimer(100)));
    daemon.kill();
    EXPECT_TRUE(DnsSdPublisher::waitForWithdrawals(QDeadlineTimer(10000)));
}

}  // namespace
