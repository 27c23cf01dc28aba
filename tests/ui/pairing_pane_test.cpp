#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "store/phone_fakes.h"
#include "store/phone_services.h"
#include "store/store_fixture.h"
#include "ui/mainwindow/pairing_views.h"
#include "window_test_support.h"

using namespace Qt::StringLiterals;

namespace {

// What zbarimg reads in the image, or nothing when it reads no code.
std::optional<QString> decode(const QImage& image) {
    QTemporaryDir folder;
    const QString path = folder.filePath(u"code.png"_s);
    if (!image.save(path)) {
        return std::nullopt;
    }
    QProcess zbar;
    zbar.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, path});
    if (!zbar.waitForFinished(10000) || zbar.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

// The code as the pane shows it, scaled to its 224 pixels, with a little of the white around it.
QImage codeOnScreen(QWidget& pane) {
    const auto* code = pane.findChild<PairingQrCodeView*>();
    return code == nullptr ? QImage()
                           : pane.grab(QRect(code->mapTo(&pane, QPoint(-16, -16)),
                                             code->size() + QSize(32, 32)))
                                 .toImage();
}

class PairingPaneTest : public test::StoreFixture {};

}  // namespace

// A real decoder reads the code off the screen, the phone peer pairs with what it read through
// the link's real server on loopback, and forgetting the phone brings a new code back.
TEST_F(PairingPaneTest, APhonePairsWithTheCodeOnScreenAndForgettingItShowsANewOne) {
    if (QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty()) {
        GTEST_SKIP() << "zbarimg (Debian zbar-tools) is not installed";
    }
    LanPairingServer::Options loopbackOnly;
    loopbackOnly.advertise = false;
    LanPairingServers local(loopbackOnly);
    test::FakeWakeSender wake(clock);
    MemorySecretStore secrets;
    PhoneLink link({clock, local, wake, secrets, standard});
    link.start(std::nullopt);
    ASSERT_TRUE(test::processEventsUntil([&] { return local.latest()->port() != 0; }));
    PairingPane pane(link);
    pane.resize(510, 680);
    pane.show();
    const std::optional<QString> code = decode(codeOnScreen(pane));
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, link.pairingPayload().qrValue());

    QProcess phone;
    phone.start(QStringLiteral(QUOTAMIND_PHONE),
                {u"--host"_s, u"127.0.0.1"_s, u"--port"_s, QString::number(local.latest()->port()),
                 u"--model"_s, u"iPhone15,2"_s, u"--count"_s, u"1"_s, *code});
    ASSERT_TRUE(test::processEventsUntil([&] { return link.pairedPhone().has_value(); }));
    // It stops after the first message, the one that says it is paired.
    ASSERT_TRUE(test::processEventsUntil([&] { return phone.state() == QProcess::NotRunning; }));
    EXPECT_EQ(phone.exitCode(), 0) << phone.readAllStandardError().toStdString();
    EXPECT_TRUE(test::shows(pane, u"iPhone15,2"_s));
    EXPECT_FALSE(test::shows(pane, u"QR code for pairing an iPhone"_s));

    test::button(pane, u"Disconnect iPhone"_s)->click();
    ASSERT_TRUE(test::processEventsUntil([&] { return !link.pairedPhone(); }));
    EXPECT_TRUE(test::shows(pane, u"Connect your iPhone"_s));
    const std::optional<QString> next = decode(codeOnScreen(pane));
    EXPECT_NE(next, code);
    EXPECT_EQ(next, link.pairingPayload().qrValue());
}

TEST(PairingQrCodeTest, TextsThatCannotBeEncodedGiveNoImage) {
    EXPECT_TRUE(PairingQrCodeView::render(QString()).isNull());
    // Past the capacity of the largest code at level M.
    EXPECT_TRUE(PairingQrCodeView::render(QString(2400, QLatin1Char('x'))).isNull());
}
