#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// The picture a terminal with light text on a dark background shows, as a plain PBM (1 is
// dark), four pixels per module, read back with zbarimg.
QString decodeTerminalQrCode(const QStringList& lines, const QTemporaryDir& folder) {
    QByteArray rows;
    for (const QString& line : lines) {
        for (const QChar half : {QChar(0x2580), QChar(0x2584)}) {
            QByteArray row;
            for (const QChar cell : line) {
                row += cell == QChar(0x2588) || cell == half ? "0 0 0 0 " : "1 1 1 1 ";
            }
            rows += (row + '\n').repeated(4);
        }
    }
    const QString path = folder.filePath(QStringLiteral("code.pbm"));
    QFile image(path);
    EXPECT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(QStringLiteral("P1\n%1 %2\n")
                    .arg(lines.value(0).size() * 4)
                    .arg(lines.size() * 8)
                    .toLatin1() +
                rows);
    image.close();
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), path});
    zbar.waitForFinished(10000);
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

TEST(PairingCommandTest, PrintsTheStoredCodeAsTextAndAsAQrCodeThatScans) {
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()) {
        GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    }
    QTemporaryDir config;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    auto runPairing = [&environment] {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(QUOTAMIND_PROGRAM), {QStringLiteral("pairing")});
        EXPECT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), 0);
        return QString::fromUtf8(program.readAllStandardOutput())
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    const QStringList first = runPairing();
    ASSERT_GT(first.size(), 3);
    EXPECT_TRUE(first[1].startsWith(QStringLiteral("quotamind://pair?v=1&service=quotamind-")));
    EXPECT_EQ(decodeTerminalQrCode(first.mid(2), config), first[1]);
    EXPECT_EQ(runPairing(), first) << "the code is made once and kept";
}

}  // namespace
