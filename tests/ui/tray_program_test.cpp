#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>

#include "model/shared_snapshot_store.h"
#include "support/child_processes.h"
#include "support/usage_builder.h"
#include "ui/tray/tray_icon_appearance.h"

// The tray program on the private display and bus of support/with-x-tray: embedded in an XEmbed
// tray on a light panel, registered with a StatusNotifierWatcher, and on a display without a tray.

using namespace Qt::StringLiterals;

namespace {

QByteArray output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

// The first of the program's viewable windows as wide as this, in root coordinates (xwininfo).
// An icon's window is 16 to 64 wide: Qt may map it at 1 × 1 before the tray sizes it.
std::optional<QRect> shownWindow(int minWidth, int maxWidth) {
    static const QRegularExpression line(QStringLiteral(
        R"re((0x[0-9a-f]+) .*\("quotamind" .*\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re"));
    auto windows =
        line.globalMatch(QString::fromUtf8(output(u"xwininfo"_s, {u"-root"_s, u"-tree"_s})));
    while (windows.hasNext()) {
        const QRegularExpressionMatch found = windows.next();
        const QRect geometry(found.captured(4).toInt(), found.captured(5).toInt(),
                             found.captured(2).toInt(), found.captured(3).toInt());
        if (geometry.width() >= minWidth && geometry.width() <= maxWidth &&
            output(u"xwininfo"_s, {u"-id"_s, found.captured(1)}).contains("IsViewable")) {
            return geometry;
        }
    }
    return std::nullopt;
}

const auto shownIcon = [] { return shownWindow(16, 64); };
const auto shownPopup = [] { return shownWindow(358, 358); };
const auto mainWindowShown = [] {
    const std::optional<QRect> window = shownWindow(860, 10000);
    return window && window->height() >= 560;
};

QImage screenshot() {
    return QImage::fromData(output(u"import"_s, {u"-window"_s, u"root"_s, u"png:-"_s}));
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
            QStandardPaths::findExecutable(u"xdotool"_s).isEmpty()) {
            GTEST_SKIP() << "needs support/with-x-tray (Xvfb, trayer) and xdotool";
        }
        // Stored limits, so the icon shows capsules; no sign-ins to read fresh ones.
        const double now = Timestamp::now().secondsSince2001();
        SharedSnapshotStore::save(
            test::snapshot({test::usage("codex", {test::fiveHour(40, Timestamp(now + 7530)),
                                                  test::weekly(70, Timestamp(now + 284430))})}),
            Preferences(
                m_home.filePath(u".config/brindlecove/group.com.brindlecove.Quotamind.conf"_s)));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"QT_QPA_PLATFORM"_s);
        environment.insert(u"HOME"_s, m_home.path());
        environment.insert(u"XDG_CONFIG_HOME"_s, m_home.filePath(u".config"_s));
        // Sanitizer builds only: full stacks, so that the suppressed leak inside Qt is matched.
        environment.insert(
            u"LSAN_OPTIONS"_s,
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
        QColor::fromString(qEnvironmentVariable("WITH_X_TRAY_TINT").replace(u"0x"_s, u"#"_s));
    if (!panel.isValid()) {
        GTEST_SKIP() << "needs a tray: support/with-x-tray --tint";
    }
    // A light panel says its text is black: only the tray's colours, read from the X server, make
    // the fills dark, which is what reads on it. As at login: in the tray, no main window.
    if (TrayIconAppearance::relativeLuminance(panel) > 0.5) {
        ASSERT_TRUE(test::waitUntil(&announceBlackTrayText));
    }
    m_program.start(QStringLiteral(QUOTAMIND_PROGRAM), {u"--background"_s});
    // The tray may still move and size the icon's window: each try looks afresh.
    std::optional<QRect> icon, shown;
    double weeklyFill = 0;
    const bool reads = test::waitUntil(
        [&] {
            if (!(icon = shownIcon())) {
                return false;
            }
            const int side = std::min(icon->width(), icon->height());
            const QImage drawn = screenshot().copy(
                QRect(icon->center() - QPoint(side, side) / 2, QSize(side, side)));
            weeklyFill = TrayIconAppearance::contrastRatio(
                drawn.pixelColor(int(3.5 * side / 18), int(11.5 * side / 18)), panel);
            return weeklyFill >= 3;
        },
        std::chrono::seconds(30));
    ASSERT_TRUE(icon) << m_program.readAllStandardError().toStdString();
    EXPECT_TRUE(reads) << "weekly fill " << weeklyFill;
    const QStringList click = {u"mousemove"_s, QString::number(icon->center().x()),
                               QString::number(icon->center().y()), u"click"_s, u"1"_s};
    output(u"xdotool"_s, click);
    ASSERT_TRUE(test::waitUntil([&] { return (shown = shownPopup()).has_value(); },
                                std::chrono::seconds(30)));
    EXPECT_NEAR(shown->top(), icon->bottom(), 8);
    EXPECT_TRUE(shown->left() <= icon->center().x() && icon->center().x() <= shown->right());

    // How docs/tray-popup.png is made.
    if (const QString path = qEnvironmentVariable("QUOTAMIND_TRAY_SCREENSHOT"); !path.isEmpty()) {
        screenshot().copy(shown->united(*icon).adjusted(-40, 0, 12, 12)).save(path);
    }
    output(u"xdotool"_s, click);
    EXPECT_TRUE(test::waitUntil([&] { return !shownPopup(); }, std::chrono::seconds(30)))
        << "not closed";
    EXPECT_FALSE(mainWindowShown()) << "started in the background with a tray";
}

TEST_F(TrayProgramTest, StatusNotifierItemShowsTheToolTipAndTheCapsules) {
    QProcess watcher;
    watcher.start(u"/usr/bin/python3"_s, {QStringLiteral(STATUS_NOTIFIER_WATCHER)});
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
    EXPECT_EQ(item[u"toolTipTitle"_s].toString(),
              u"Codex: 60% remaining for 5 hours, 30% remaining for the week"_s);
    EXPECT_FALSE(item[u"iconPixmap"_s].toArray().isEmpty());
}

TEST_F(TrayProgramTest, WithoutATrayTheWindowShowsAndALateTrayGetsTheIcon) {
    if (!qEnvironmentVariableIsEmpty("WITH_X_TRAY_TINT")) {
        GTEST_SKIP() << "needs a display without a tray: support/with-x-tray --no-tray";
    }
    m_program.start(QStringLiteral(QUOTAMIND_PROGRAM), QStringList());
    ASSERT_TRUE(test::waitUntil(mainWindowShown, std::chrono::seconds(15)))
        << m_program.readAllStandardError().toStdString();
    EXPECT_FALSE(shownIcon());

    // A panel that starts later (as at login) shows the icon. trayer now and then fails to open
    // the display and exits at once; it is started again then, as support/with-x-tray does.
    QProcess tray;
    EXPECT_TRUE(test::waitUntil(
        [&] {
            if (tray.state() == QProcess::NotRunning) {
                tray.start(
                    u"trayer"_s,
                    u"--edge top --align right --height 24 --SetDockType false"_s.split(u' '));
            }
            return shownIcon().has_value();
        },
        std::chrono::seconds(15)));
}

}  // namespace
