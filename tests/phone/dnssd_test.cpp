#include <gtest/gtest.h>

#include <QProcess>

#include "lan_test_peer.h"
#include "support/child_processes.h"

namespace {

using Kind = LanConnectionState::Kind;

const LanPairingPayload kPairing{QStringLiteral("quotamind-0123456789abcdef"),
                                 QString(64, QLatin1Char('7'))};

// The resolved `_quotamind._tcp` services as avahi-browse lists them: "name port" lines.
QStringList announced() {
    QProcess browse;
    browse.start(QStringLiteral("avahi-browse"),
                 {QStringLiteral("-rpt"), QStringLiteral("_quotamind._tcp")});
    browse.waitForFinished(10000);
    QStringList services;
    for (const QByteArray& line : browse.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() > 8 && fields[0] == "=") {
            services.append(QString::fromUtf8(fields[3] + ' ' + fields[8]));
        }
    }
    services.sort();
    return services;
}

// Not a ChildProcessTest: in its namespace the test is the first process, so the daemons are its
// children.
class DnsSdTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QUOTAMIND_TEST_AVAHI_CONFIG")) {
            GTEST_SKIP() << "needs tests/support/with-avahi, which runs avahi-daemon in a private "
                            "network namespace as root";
        }
    }
};

TEST_F(DnsSdTest, ServiceIsAnnouncedFoundByThePhoneRenamedOnCollisionAndWithdrawn) {
    test::RunningServer running({}, kPairing);
    const QString entry =
        QStringLiteral("%1 %2").arg(kPairing.serviceName).arg(running.server.port());
    ASSERT_TRUE(test::waitUntil([&] { return announced() == QStringList{entry}; }))
        << announced().join(QLatin1Char(',')).toStdString();
    // quotamind-phone finds the computer from the QR text alone.
    QProcess phone;
    phone.start(QStringLiteral(QUOTAMIND_PHONE),
                {QStringLiteral("--count"), QStringLiteral("1"), kPairing.qrValue()});
    ASSERT_TRUE(phone.waitForFinished(15000));
    EXPECT_EQ(phone.readAllStandardOutput().trimmed(), R"({"kind":"paired"})");
    {
        test::RunningServer twin({}, kPairing);
        // avahi-browse -p writes " #" as "\032\035".
        const QString renamed =
            QStringLiteral("%1\\032\\0352 %2").arg(kPairing.serviceName).arg(twin.server.port());
        EXPECT_TRUE(test::waitUntil([&] { return announced().contains(renamed); }))
            << announced().join(QLatin1Char(',')).toStdString();
    }
    running.server.stop();
    EXPECT_TRUE(test::waitUntil([] { return announced().isEmpty(); }));
}

TEST_F(DnsSdTest, WithoutTheDaemonPairingIsUnavailableButConnectionsAreTakenUntilItReturns) {
    QProcess::execute(QStringLiteral("avahi-daemon"), {QStringLiteral("-k")});
    test::RunningServer running({}, kPairing);
    ASSERT_TRUE(running.waitForState(Kind::Failed));
    EXPECT_EQ(running.events->states.back().failure,
              QStringLiteral("The Avahi daemon (avahi-daemon) is not running."));
    {
        test::RawPeer phone(running.server.port());
        phone.pair(kPairing.secret);
        ASSERT_TRUE(phone.waitForMessages(1));
        ASSERT_TRUE(running.waitForState(Kind::Connected));
    }
    ASSERT_TRUE(running.waitForState(Kind::Failed));
    QProcess::execute(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("avahi-daemon --no-drop-root --no-chroot "
                                              "-D -f \"$QUOTAMIND_TEST_AVAHI_CONFIG\"")});
    ASSERT_TRUE(running.waitForState(Kind::Advertising));
    EXPECT_TRUE(test::waitUntil([] { return announced().size() == 1; }));
}

}  // namespace
