#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "store/shared_services.h"
#include "store/store_fixture.h"
#include "ui/pairing_views.h"
#include "window_test_support.h"

namespace {

// What zbarimg reads in the image, or nothing when it reads no code.
std::optional<QString> decode(const QImage& image) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("code.png"));
    if (!image.save(path)) {
        return std::nullopt;
    }
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), path});
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
// the store's real server on loopback, and forgetting the phone brings a new code back.
TEST_F(PairingPaneTest, APhonePairsWithTheCodeOnScreenAndForgettingItShowsANewOne) {
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()) {
        GTEST_SKIP() << "zbarimg (Debian zbar-tools) is not installed";
    }
    LanPairingServer::Options loopbackOnly;
    loopbackOnly.advertise = false;
    LanPairingServers local(loopbackOnly);
    serverFactory = &local;
    UsageStore& store = makeStore();
    run(store.start());
    ASSERT_TRUE(test::processEventsUntil([&] { return local.latest()->port() != 0; }));
    PairingPane pane(store);
    pane.resize(510, 680);
    pane.show();
    const std::optional<QString> code = decode(codeOnScreen(pane));
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, store.pairingPayload().qrValue());

    QProcess phone;
    phone.start(
        QStringLiteral(QUOTAMIND_PHONE),
        {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
         QString::number(local.latest()->port()), QStringLiteral("--model"),
         QStringLiteral("iPhone15,2"), QStringLiteral("--count"), QStringLiteral("1"), *code});
    ASSERT_TRUE(test::processEventsUntil([&] { return store.pairedPhone().has_value(); }));
    // It stops after the first message, the one that says it is paired.
    ASSERT_TRUE(test::processEventsUntil([&] { return phone.state() == QProcess::NotRunning; }));
    EXPECT_EQ(phone.exitCode(), 0) << phone.readAllStandardError().toStdString();
    EXPECT_TRUE(test::shows(pane, QStringLiteral("iPhone15,2")));
    EXPECT_FALSE(test::shows(pane, QStringLiteral("QR code for pairing an iPhone")));

    test::button(pane, QStringLiteral("Disconnect iPhone"))->click();
    ASSERT_TRUE(test::processEventsUntil([&] { return !store.pairedPhone(); }));
    EXPECT_TRUE(test::shows(pane, QStringLiteral("Connect your iPhone")));
    const std::optional<QString> next = decode(codeOnScreen(pane));
    EXPECT_NE(next, code);
    EXPECT_EQ(next, store.pairingPayload().qrValue());
}

TEST_F(PairingPaneTest, ModulesAreTwelvePixelSquaresInsideAOneModuleQuietZone) {
    const QImage image = PairingQrCodeView::render(QStringLiteral("quotamind://pair?v=1"));
    ASSERT_FALSE(image.isNull());
    const int module = PairingQrCodeView::kModulePixels;
    EXPECT_EQ(image.width() % module, 0);
    // The top row of the top-left finder pattern: seven dark modules between light ones.
    const int row = module + module / 2;
    const auto dark = [&](int x) { return qGray(image.pixel(x, row)) < 128; };
    EXPECT_FALSE(dark(module - 1));
    EXPECT_TRUE(dark(module));
    EXPECT_TRUE(dark(8 * module - 1));
    EXPECT_FALSE(dark(8 * module));
}

TEST_F(PairingPaneTest, TextsThatCannotBeEncodedGiveNoImage) {
    EXPECT_TRUE(PairingQrCodeView::render(QString()).isNull());
    // Past the capacity of the largest code at level M.
    EXPECT_TRUE(PairingQrCodeView::render(QString(2400, QLatin1Char('x'))).isNull());
}
