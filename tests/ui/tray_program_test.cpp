#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdlib>

#include "icon_ink.h"
#include "model/shared_snapshot_store.h"
#include "model/test_usages.h"
#include "support/child_processes.h"
#include "ui/tray_icon_appearance.h"

// The tray program on the private display and bus of support/with-x-tray: embedded in an XEmbed
// tray on a light or a dark panel, registered with a StatusNotifierWatcher, and on a display
// without a tray.
namespace {

using test::Ink;
using TrayIconAppearance::contrastRatio;

QByteArray output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

// The program's mapped windows of this width (or narrower, down to an icon's), in root
// coordinates (xwininfo).
std::optional<QRect> shownWindow(int width, bool exactly) {
    static const QRegularExpression line(QStringLiteral(
        R"re((0x[0-9a-f]+) .*\("quotamind" .*\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re"));
    auto windows = line.globalMatch(QString::fromUtf8(
        output(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})));
    while (windows.hasNext()) {
        const QRegularExpressionMatch found = windows.next();
        const QRect geometry(found.captured(4).toInt(), found.captured(5).toInt(),
                             found.captured(2).toInt(), found.captured(3).toInt());
        // Not exactly: an icon's window, which Qt may map at 1 × 1 before the tray sizes it.
        if ((exactly ? geometry.width() == width
                     : geometry.width() <= width && geometry.width() >= 16) &&
            output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), found.captured(1)})
                .contains("IsViewable")) {
            return geometry;
        }
    }
    return std::nullopt;
}

// Whether a viewable window named "Quotamind" of at least 860 × 560 is shown.
bool mainWindowShown() {
    static const QRegularExpression size(QStringLiteral(R"(Width: (\d+)\s+Height: (\d+))"));
    const QByteArray ids = output(QStringLiteral("xdotool"),
                                  {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                   QStringLiteral("--name"), QStringLiteral("^Quotamind$")});
    for (const QByteArray& id : ids.split('\n')) {
        const QRegularExpressionMatch found = size.match(QString::fromUtf8(
            output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::fromLatin1(id)})));
        if (!id.isEmpty() && found.captured(1).toInt() >= 860 && found.captured(2).toInt() >= 560) {
            return true;
        }
    }
    return false;
}

QImage screenshot() {
    return QImage::fromData(
        output(QStringLiteral("import"),
               {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")}));
}

// Says, as the trays of MATE and Xfce do, that the tray's icons should draw in black:
// _NET_SYSTEM_TRAY_COLORS (foreground, error, warning, success) on the tray selection's owner,
// once there is one. trayer itself says nothing.
bool announceBlackTrayText() {
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screen);
    const auto atom = [connection](const QByteArray& name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, name.size(), name.constData()), nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return found;
    };
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection,
        xcb_get_selection_owner(connection,
                                atom("_NET_SYSTEM_TRAY_S" + QByteArray::number(screen))),
        nullptr);
    const xcb_window_t tray = owner ? owner->owner : xcb_window_t{XCB_WINDOW_NONE};
    std::free(owner);
    const uint32_t black[12] = {};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, tray, atom("_NET_SYSTEM_TRAY_COLORS"),
                        XCB_ATOM_CARDINAL, 32, 12, black);
    // A round trip, so the server has applied the change before this client goes: requests still
    // unread when a connection closes may be dropped.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
    return tray != XCB_WINDOW_NONE;
}

class TrayProgramTest : public test::ChildProcessTest {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY") ||
            QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            GTEST_SKIP() << "needs support/with-x-tray (Xvfb, trayer) and xdotool";
        }
        // Stored limits, so the icon shows capsules; no sign-ins to read fresh ones.
        const double now = Timestamp::now().secondsSince2001();
        SharedSnapshotStore::save(
            AgentUsageSnapshot(
                {test::usage("codex", "plus",
                             {test::window(40, UsageWindow::kFiveHourSeconds, now + 7530),
                              test::window(70, UsageWindow::kWeeklySeconds, now + 284430)}),
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

TEST_F(TrayProgramTest, XEmbedIconReadsOnThePanelAndOpensThePopupNextToIt) {
    const QColor panel =
        QColor::fromString(qEnvironmentVariable("WITH_X_TRAY_TINT")
                               .replace(QStringLiteral("0x"), QStringLiteral("#")));
    if (!panel.isValid()) {
        GTEST_SKIP() << "needs a tray: support/with-x-tray --tint";
    }
    // A light panel says its text is black; a dark one says nothing, as most do.
    if (TrayIconAppearance::relativeLuminance(panel) > 0.5) {
        ASSERT_TRUE(test::waitUntil(&announceBlackTrayText));
    }
    // As at login: in the tray, without the main window.
    m_program.start(QStringLiteral(QUOTAMIND_PROGRAM), {QStringLiteral("--background")});
    std::optional<QRect> icon, shown;
    ASSERT_TRUE(test::waitUntil([&] { return (icon = shownWindow(64, false)).has_value(); },
                                std::chrono::seconds(15)))
        << m_program.readAllStandardError().toStdString();

    // Every capsule's outline stands out from the panel, and so does the fill of the drawing
    // that suits it (white on the dark panel, black on the light one).
    const int side = std::min(icon->width(), icon->height());
    QImage drawn;
    // The largest contrast down a column of the icon, in points: a line may fall between pixels.
    const auto contrastDown = [&](double x, double top, double bottom) {
        double best = 0;
        for (int y = int(top * side / 18); y <= int(bottom * side / 18); ++y) {
            best = std::max(best, contrastRatio(drawn.pixelColor(int(x * side / 18), y), panel));
        }
        return best;
    };
    // The thin 5-hour capsule is 60 % full, the thick weekly one 30 %. The icon's window may be
    // shown a moment before the icon is painted into it, and the icon is drawn again once the
    // tray's text colour has been read.
    EXPECT_TRUE(test::waitUntil([&] {
        drawn =
            screenshot().copy(QRect(icon->center() - QPoint(side, side) / 2, QSize(side, side)));
        return contrastDown(3.5, 11.5, 11.5) >= 3;
    })) << "weekly fill";
    EXPECT_GE(contrastDown(13, 2.5, 4.5), 3) << "5-hour outline";
    EXPECT_GE(contrastDown(10, 7.5, 9.5), 3) << "weekly outline";

    const QStringList click = {QStringLiteral("mousemove"), QString::number(icon->center().x()),
                               QString::number(icon->center().y()), QStringLiteral("click"),
                               QStringLiteral("1")};
    output(QStringLiteral("xdotool"), click);
    ASSERT_TRUE(test::waitUntil([&] { return (shown = shownWindow(358, true)).has_value(); }));
    EXPECT_NEAR(shown->top(), icon->bottom(), 8);
    EXPECT_TRUE(shown->left() <= icon->center().x() && icon->center().x() <= shown->right());

    // How docs/tray-popup.png is made.
    if (const QString path = qEnvironmentVariable("QUOTAMIND_TRAY_SCREENSHOT"); !path.isEmpty()) {
        screenshot().copy(shown->united(*icon).adjusted(-40, 0, 12, 12)).save(path);
    }
    output(QStringLiteral("xdotool"), click);
    EXPECT_TRUE(test::waitUntil([&] { return !shownWindow(358, true); })) << "not closed";
    EXPECT_FALSE(mainWindowShown()) << "started in the background with a tray";
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
              QStringLiteral("Codex: 60% remaining for 5 hours, 30% remaining for the week"));
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
        // The thin 5-hour capsule 60 % full above the thick weekly one 30 % full.
        for (const auto& [x, y, ink] : {std::tuple(4.0, 5.0, Ink::Fill),
                                        {14, 5, Ink::Track},
                                        {3.5, 11.5, Ink::Fill},
                                        {9, 16, Ink::None}}) {
            EXPECT_EQ(test::inkAt(image, x, y), ink) << x << "," << y << " at " << side;
        }
    }
}

TEST_F(TrayProgramTest, WithoutATrayTheWindowShowsAndALateTrayGetsTheIcon) {
    if (!qEnvironmentVariableIsEmpty("WITH_X_TRAY_TINT")) {
        GTEST_SKIP() << "needs a display without a tray: support/with-x-tray --no-tray";
    }
    m_program.start(QStringLiteral(QUOTAMIND_PROGRAM), QStringList());
    ASSERT_TRUE(test::waitUntil(&mainWindowShown, std::chrono::seconds(15)))
        << m_program.readAllStandardError().toStdString();
    EXPECT_FALSE(shownWindow(64, false));

    // A panel that starts later (as at login) shows the icon.
    QProcess tray;
    tray.start(
        QStringLiteral("trayer"),
        QStringLiteral("--edge top --align right --height 24 --SetDockType false").split(u' '));
    EXPECT_TRUE(test::waitUntil([] { return shownWindow(64, false).has_value(); },
                                std::chrono::seconds(15)));
    tray.terminate();
    tray.waitForFinished();
}

}  // namespace
