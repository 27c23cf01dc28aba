#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "ui/pairing_views.h"

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

}  // namespace

// The code as the pane draws it, scaled to its 224 pixels, read back by a real decoder.
TEST(PairingPaneTest, TheCodeOnScreenDecodesToThePairingText) {
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()) {
        GTEST_SKIP() << "zbarimg (Debian zbar-tools) is not installed";
    }
    const LANPairingPayload payload = LANPairingPayload::makeServerIdentity();
    MacPairingQRView view;
    view.setContent(payload, {});
    view.resize(510, 680);
    view.show();
    const auto* code = view.findChild<PairingQRCodeView*>();
    ASSERT_NE(code, nullptr);
    ASSERT_FALSE(code->image().isNull());
    const QImage shown = view.grab(code->geometry().adjusted(-16, -16, 16, 16)).toImage();
    EXPECT_EQ(decode(shown), payload.qrValue());
}

TEST(PairingPaneTest, ModulesAreTwelvePixelSquaresInsideAOneModuleQuietZone) {
    const QImage image = PairingQRCodeView::render(QStringLiteral("quotamind://pair?v=1"));
    ASSERT_FALSE(image.isNull());
    const int module = PairingQRCodeView::kModulePixels;
    EXPECT_EQ(image.width() % module, 0);
    // The top row of the top-left finder pattern: seven dark modules between light ones.
    const int row = module + module / 2;
    const auto dark = [&](int x) { return qGray(image.pixel(x, row)) < 128; };
    EXPECT_FALSE(dark(module - 1));
    EXPECT_TRUE(dark(module));
    EXPECT_TRUE(dark(8 * module - 1));
    EXPECT_FALSE(dark(8 * module));
}

TEST(PairingPaneTest, TextsThatCannotBeEncodedGiveNoImage) {
    EXPECT_TRUE(PairingQRCodeView::render(QString()).isNull());
    // Past the capacity of the largest code at level M.
    EXPECT_TRUE(PairingQRCodeView::render(QString(2400, QLatin1Char('x'))).isNull());
}
