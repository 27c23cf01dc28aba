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

struct XWindow {
    QString id;
    QString wmClass;
    QRect geometry;  // in root coordinates
};

QByteArray output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

// Every window on the display, mapped or not, from `xwininfo -root -tree`.
std::vector<XWindow> windows() {
    static const QRegularExpression line(QStringLiteral(
        R"re((0x[0-9a-f]+) .*\("([^"]*)".*\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re"));
    std::vector<XWindow> found;
    const QString tree = QString::fromUtf8(
        output(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}));
    for (const QString& text : tree.split(QLatin1Char('\n'))) {
        if (const auto match = line.match(text); match.hasMatch()) {
            found.push_back({match.captured(1), match.captured(2),
                             QRect(match.captured(5).toInt(), match.captured(6).toInt(),
                                   match.captured(3).toInt(), match.captured(4).toInt())});
        }
    }
    return found;
}

std::optional<XWindow> shownWindow(const std::function<bool(const XWindow&)>& wanted) {
    for (const XWindow& window : windows()) {
        if (window.wmClass == QStringLiteral("quotamind") && wanted(window) &&
            output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window.id})
                .contains("IsViewable")) {
            return window;
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
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           m_home.filePath(QStringLiteral(".config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"),
                           m_home.filePath(QStringLiteral(".data")));
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
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
    void startProgram() {
        m_program.start(QStringLiteral(QUOTAMIND_PROGRAM), QStringList());
        ASSERT_TRUE(m_program.waitForStarted());
    }

    QTemporaryDir m_home;
    QProcess m_program;
};

TEST_F(TrayProgramTest, XEmbedIconOpensAndClosesThePopoverNextToIt) {
    startProgram();
    std::optional<XWindow> icon;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            icon = shownWindow([](const XWindow& w) { return w.geometry.width() <= 64; });
            return icon.has_value();
        },
        std::chrono::seconds(15)))
        << m_program.readAllStandardError().toStdString();

    const QPoint centre = icon->geometry.center();
    const auto click = [&] {
        output(QStringLiteral("xdotool"),
               {QStringLiteral("mousemove"), QString::number(centre.x()),
                QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1")});
    };
    const auto popover = [] {
        return shownWindow([](const XWindow& w) { return w.geometry.width() == 358; });
    };
    click();
    std::optional<XWindow> opened;
    ASSERT_TRUE(test::waitUntil([&] { return (opened = popover()).has_value(); }));
    EXPECT_NEAR(opened->geometry.top(), icon->geometry.bottom(), 8);
    EXPECT_TRUE(opened->geometry.left() <= centre.x() && centre.x() <= opened->geometry.right());

    const QImage screen = QImage::fromData(
        output(QStringLiteral("import"),
               {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")}));
    ASSERT_FALSE(screen.isNull());
    const QRgb panel = screen.pixel(icon->geometry.left() - 2, icon->geometry.center().y());
    int drawn = 0;
    for (int x = icon->geometry.left(); x <= icon->geometry.right(); ++x) {
        for (int y = icon->geometry.top(); y <= icon->geometry.bottom(); ++y) {
            drawn += screen.pixel(x, y) != panel ? 1 : 0;
        }
    }
    EXPECT_GT(drawn, 40) << "the icon shows no capsules";
    if (const QString path = qEnvironmentVariable("QUOTAMIND_TRAY_SCREENSHOT"); !path.isEmpty()) {
        screen.copy(opened->geometry.united(icon->geometry).adjusted(-40, 0, 12, 12)).save(path);
    }

    click();
    EXPECT_TRUE(test::waitUntil([&] { return !popover(); })) << "a second click closes it";
}

TEST_F(TrayProgramTest, StatusNotifierItemShowsTheToolTipAndTheCapsules) {
    QProcess watcher;
    watcher.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(STATUS_NOTIFIER_WATCHER)});
    ASSERT_TRUE(test::waitUntil([&] {
        return watcher.canReadLine() || !watcher.isOpen() ||
               watcher.state() == QProcess::NotRunning;
    }));
    if (watcher.readLine().trimmed() != "ready") {
        GTEST_SKIP() << "the watcher needs python3-dbus: "
                     << watcher.readAllStandardError().toStdString();
    }
    startProgram();
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
