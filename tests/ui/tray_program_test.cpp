#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include "icon_ink.h"
#include "model/shared_container.h"
#include "model/test_usages.h"
#include "support/child_processes.h"

// The tray program on the private display and bus of support/with-x-tray: embedded in an XEmbed
// tray, and registered with a StatusNotifierWatcher.
namespace {

using test::Ink;

QByteArray output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

// The program's mapped windows of this width (or narrower), in root coordinates (xwininfo).
std::optional<QRect> shownWindow(int width, bool exactly) {
    static const QRegularExpression line(QStringLiteral(
        R"re((0x[0-9a-f]+) .*\("quotamind" .*\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re"));
    auto windows = line.globalMatch(QString::fromUtf8(
        output(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})));
    while (windows.hasNext()) {
        const QRegularExpressionMatch found = windows.next();
        const QRect geometry(found.captured(4).toInt(), found.captured(5).toInt(),
                             found.captured(2).toInt(), found.captured(3).toInt());
        if ((exactly ? geometry.width() == width : geometry.width() <= width) &&
            output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), found.captured(1)})
                .contains("IsViewable")) {
            return geometry;
        }
    }
    return std::nullopt;
}

class TrayProgramTest : public test::ChildProcessTest {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY") ||
            QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            GTEST_SKIP() << "needs support/with-x-tray (Xvfb, trayer) and xdotool";
        }
        // Stored limits, so the icon shows capsules; no sign-ins to read fresh ones.
        const double now = Timestamp::now().secondsSinceReferenceDate();
        SharedContainer::save(
            AgentUsageSnapshot(
                {test::usage("codex", "plus",
                             {test::window(40, UsageWindow::kFiveHourSeconds, now + 7530),
                              test::window(15, UsageWindow::kWeeklySeconds, now + 284430)}),
                 test::usage("claude", "max",
                             {test::window(72, UsageWindow::kWeeklySeconds, now + 99030)})}),
            Preferences(m_home.filePath(
                QStringLiteral(".config/brindlecove/group.com.brindlecove.Quotamind.conf"))));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           m_home.filePath(QStringLiteral(".config")));
        // Sanitizer builds only: full stacks, so that the suppressed leak inside Qt is matched.
        environment.insert(
            QStringLiteral("LSAN_OPTIONS"),
            QStringLiteral("fast_unwind_on_malloc=0:suppressions=" LSAN_SUPPRESSIONS));
        m_program.setProcessEnvironment(environment);
    }
    void TearDown() override {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.terminate();
            EXPECT_TRUE(m_program.waitForFinished(10000));
            EXPECT_EQ(m_program.exitCode(), 0) << m_program.readAllStandardError().toStdString();
        }
        test::ChildProcessTest::TearDown();
    }

    QTemporaryDir m_home;
    QProcess m_program;
};

TEST_F(TrayProgramTest, XEmbedIconOpensAndClosesThePopoverNextToIt) {
    m_program.start(QStringLiteral(QUOTAMIND_PROGRAM), QStringList());
    std::optional<QRect> icon, popover;
    ASSERT_TRUE(test::waitUntil([&] { return (icon = shownWindow(64, false)).has_value(); },
                                std::chrono::seconds(15)))
        << m_program.readAllStandardError().toStdString();
    const QStringList click = {QStringLiteral("mousemove"), QString::number(icon->center().x()),
                               QString::number(icon->center().y()), QStringLiteral("click"),
                               QStringLiteral("1")};
    output(QStringLiteral("xdotool"), click);
    ASSERT_TRUE(test::waitUntil([&] { return (popover = shownWindow(358, true)).has_value(); }));
    EXPECT_NEAR(popover->top(), icon->bottom(), 8);
    EXPECT_TRUE(popover->left() <= icon->center().x() && icon->center().x() <= popover->right());

    // How docs/tray-popover.png is made.
    if (const QString path = qEnvironmentVariable("QUOTAMIND_TRAY_SCREENSHOT"); !path.isEmpty()) {
        QImage::fromData(
            output(QStringLiteral("import"),
                   {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")}))
            .copy(popover->united(*icon).adjusted(-40, 0, 12, 12))
            .save(path);
    }
    output(QStringLiteral("xdotool"), click);
    EXPECT_TRUE(test::waitUntil([&] { return !shownWindow(358, true); })) << "not closed";
}

TEST_F(TrayProgramTest, StatusNotifierItemShowsTheToolTipAndTheCapsules) {
    QProcess watcher;
    watcher.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(STATUS_NOTIFIER_WATCHER)});
    test::waitUntil(
        [&] { return watcher.canReadLine() || watcher.state() == QProcess::NotRunning; });
    if (watcher.readLine() != "ready\n") {
        GTEST_SKIP() << "no watcher (python3-dbus, python3-gi): "
                     << watcher.readAllStandardError().toStdString();
    }
    m_program.start(QStringLiteral(QUOTAMIND_PROGRAM), QStringList());
    ASSERT_TRUE(test::waitUntil([&] { return watcher.canReadLine(); }, std::chrono::seconds(15)))
        << m_program.readAllStandardError().toStdString();
    const QJsonObject item = QJsonDocument::fromJson(watcher.readLine()).object();
    watcher.terminate();
    watcher.waitForFinished();

    EXPECT_EQ(item[QStringLiteral("toolTipTitle")].toString(),
              QStringLiteral("Codex: 60% remaining for 5 hours, 85% remaining for the week"));
    const QJsonArray pixmaps = item[QStringLiteral("iconPixmap")].toArray();
    ASSERT_FALSE(pixmaps.isEmpty());
    for (const QJsonValue& pixmap : pixmaps) {
        const int side = pixmap[QStringLiteral("width")].toInt();
        const QByteArray argb =
            QByteArray::fromBase64(pixmap[QStringLiteral("argb")].toString().toLatin1());
        ASSERT_EQ(argb.size(), side * side * 4);
        QImage image(side, side, QImage::Format_ARGB32);
        for (int pixel = 0; pixel < side * side; ++pixel) {
            image.setPixel(pixel % side, pixel / side,
                           qFromBigEndian<quint32>(argb.constData() + 4 * pixel));
        }
        // The thin 5-hour capsule 60 % full above the thick weekly one 85 % full.
        for (const auto& [x, y, ink] : {std::tuple(4.0, 5.0, Ink::fill),
                                        {14, 5, Ink::track},
                                        {12, 11.5, Ink::fill},
                                        {9, 16, Ink::none}}) {
            EXPECT_EQ(test::inkAt(image, x, y), ink) << x << "," << y << " at " << side;
        }
    }
}

}  // namespace
