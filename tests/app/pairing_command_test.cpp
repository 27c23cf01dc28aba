#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// The picture a terminal with light text on a dark background shows, as a plain PBM (1 is
// dark), four pixels per module, read back with zbarimg.
QString decodeTerminalQrCode(const QStringList& lines, const QTemporaryDir& folder) {
    QStringList rows;
    for (const QString& line : lines) {
        QString top;
        QString bottom;
        for (const QChar cell : line) {
            const bool upper = cell == QChar(0x2588) || cell == QChar(0x2580);
            const bool lower = cell == QChar(0x2588) || cell == QChar(0x2584);
            top += QLatin1String(upper ? "0 0 0 0 " : "1 1 1 1 ");
            bottom += QLatin1String(lower ? "0 0 0 0 " : "1 1 1 1 ");
        }
        for (const QString& row : {top, top, top, top, bottom, bottom, bottom, bottom}) {
            rows.append(row);
        }
    }
    const QString path = folder.filePath(QStringLiteral("code.pbm"));
    QFile image(path);
    EXPECT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(
        QStringLiteral("P1\n%1 %2\n").arg(lines.value(0).size() * 4).arg(rows.size()).toLatin1() +
        rows.join(QLatin1Char('\n')).toLatin1());
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
