#include "ui/app_settings_view.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QSystemTrayIcon>

#include "fake_notification_center.h"
#include "model/shared_snapshot_store.h"
#include "notify/limit_notification_manager.h"
#include "phone/lan_pairing_storage.h"
#include "store/store_fixture.h"
#include "ui/settings_window.h"
#include "ui/tray_controller.h"
#include "ui/tray_icon_appearance.h"
#include "ui/tray_icon_settings.h"

using namespace Qt::StringLiterals;

namespace {

using Status = NotificationCenter::AuthorizationStatus;
using test::usage;

using FakeCenter = test::FakeNotificationCenter;

// The visible widget of that accessible name under `root`; nullptr when there is none.
template <class Widget = QWidget>
Widget* named(const QWidget* root, const QString& name) {
    for (Widget* widget : root->findChildren<Widget*>()) {
        if (widget->accessibleName() == name && widget->isVisibleTo(root)) {
            return widget;
        }
    }
    return nullptr;
}

void press(QWidget* receiver, Qt::Key key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &event);
}

// The window, opened through SettingsWindow, on a store that reads the snapshot, the paired
// phone and the autostart entry under a temporary $XDG_CONFIG_HOME as it starts.
class AppSettingsViewTest : public test::StoreFixture {
protected:
    void SetUp() override {
        m_configHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", directory.path().toUtf8());
    }
    void TearDown() override {
        window.close();
        store.reset();
        qputenv("XDG_CONFIG_HOME", m_configHome);
    }

    AppSettingsView& open(const std::vector<AgentUsage>& usages = {}) {
        window.close();
        store.reset();
        if (!usages.empty()) {
            SharedSnapshotStore::save(AgentUsageSnapshot(usages), preferences);
        }
        autostart.emplace(XdgAutostart::forThisProgram());
        store = std::make_unique<UsageStore>(
            UsageStore::Services{clock, appServer, authFile, account, claude, followers, servers,
                                 wake, followers, *autostart, secrets, preferences, standard});
        notifications = std::make_unique<LimitNotificationManager>(center, clock, standard);
        AppSettingsView& view = *window.show();
        EXPECT_TRUE(test::processEventsUntil([&] { return !view.isLoadingCredentials(); }));
        QCoreApplication::processEvents();
        return view;
    }

    std::optional<XdgAutostart> autostart;
    FakeCenter center;
    std::unique_ptr<LimitNotificationManager> notifications;
    int built = 0;
    SettingsWindow window{[this] {
        ++built;
        return new AppSettingsView({*store, *notifications, account, standard});
    }};

private:
    QByteArray m_configHome;
};

TEST_F(AppSettingsViewTest, ChoosingAnAgentStoresItAndRedrawsTheTrayIconAtOnce) {
    AppSettingsView& view = open({usage("codex", 30), usage("claude", 60)});
    TrayController tray(*store, clock, standard);
    tray.show();
    auto* picker = named<QComboBox>(&view, u"Agent"_s);
    ASSERT_TRUE(picker);
    // Nothing stored: "codex" is shown chosen, the tray shows the first usage.
    EXPECT_EQ(picker->currentData(), u"codex"_s);
    EXPECT_TRUE(tray.trayIcon()->toolTip().startsWith(u"Codex:"_s));
    press(picker, Qt::Key_Down);
    EXPECT_EQ(standard.string(TrayIconSettings::kProviderKey), u"claude"_s);
    EXPECT_TRUE(tray.trayIcon()->toolTip().startsWith(u"Claude:"_s));

    // The icon's appearance likewise.
    auto* appearance = named<QComboBox>(&view, u"Appearance"_s);
    ASSERT_TRUE(appearance);
    EXPECT_EQ(appearance->currentData(), u"automatic"_s);
    press(appearance, Qt::Key_End);
    EXPECT_EQ(standard.string(TrayIconAppearance::kPreferenceKey), u"dark"_s);
}

TEST_F(AppSettingsViewTest, LaunchAtLoginShowsTheAutostartEntryReadBack) {
    const QString folder = directory.filePath(u"autostart"_s);
    // Switching on writes the entry; where the folder cannot be made, it reads back as off.
    for (const bool folderIsAFile : {false, true}) {
        SCOPED_TRACE(folderIsAFile);
        QDir(folder).removeRecursively();
        if (folderIsAFile) {
            QFile(folder).open(QIODevice::WriteOnly);
        }
        AppSettingsView& view = open();
        auto* toggle = named<QCheckBox>(&view, u"Launch at Login"_s);
        ASSERT_TRUE(toggle && !toggle->isChecked());
        toggle->click();
        EXPECT_TRUE(test::processEventsUntil([&] {
            return toggle->isChecked() != folderIsAFile &&
                   store->launchAtLoginEnabled() != folderIsAFile;
        }));
        EXPECT_EQ(autostart->isEnabled(), !folderIsAFile);
        QFile::remove(folder);
    }
}

TEST_F(AppSettingsViewTest, TheNotificationSwitchShowsWhatThePermissionAllows) {
    // Asked for the first time and allowed; refused earlier, which the switch cannot change.
    for (const auto& [before, on, status] :
         {std::tuple{Status::NotDetermined, true, u"On"_s},
          std::tuple{Status::Denied, false, u"Off in System Settings"_s}}) {
        SCOPED_TRACE(status.toStdString());
        center.status = before;
        standard.remove(LimitNotificationManager::kEnabledKey);
        AppSettingsView& view = open();
        test::runTask(notifications->refreshAuthorizationStatus());
        QCoreApplication::processEvents();
        auto* toggle = named<QCheckBox>(&view, u"Notify When Limits Reset"_s);
        ASSERT_TRUE(toggle);
        toggle->click();
        EXPECT_TRUE(test::processEventsUntil([&] {
            return toggle->isChecked() == on &&
                   named(named(&view, u"Notifications"_s), u"Status"_s)->accessibleDescription() ==
                       status;
        }));
    }
}

// Signed in, paired, delivered and alerted: the whole form, then signing out.
TEST_F(AppSettingsViewTest, EverythingOnTabsInOrderFollowsThePaletteAndSignsOut) {
    account.stored = CodexCredentials{};
    LanPairingStorage(standard).save(PairedPhoneInfo{u"iPhone15,2"_s, Timestamp(7e8)},
                                     LanPairingStorage::kPairedPhoneKey);
    standard.setDate(LanPairingStorage::kLastPhoneDataSentAtKey, Timestamp(789318429));
    standard.setBool(LimitNotificationManager::kEnabledKey, true);
    center.status = Status::Authorized;
    AppSettingsView& view = open({usage("codex", 30), usage("claude", 60)});
    test::runTask(notifications->refreshAuthorizationStatus());

    QStringList reached;
    for (int presses = 0; presses < 10; ++presses) {
        press(view.focusWidget() ? view.focusWidget() : &view, Qt::Key_Tab);
        reached << view.focusWidget()->accessibleName();
    }
    EXPECT_THAT(reached.join(u", "_s).toStdString(),
                testing::HasSubstr("Appearance, Notify When Limits Reset, Launch at Login, Sign "
                                   "Out of Quotamind, Agent, Appearance"));

    const QByteArray screenshots = qgetenv("QUOTAMIND_SCREENSHOT_DIR");
    const QPalette light = QApplication::palette();
    const QPalette dark(QColor(0x3A, 0x3A, 0x3A), QColor(0x1E, 0x1E, 0x1E));
    for (const auto& [name, palette, isDark] :
         {std::tuple{"light", light, false}, std::tuple{"dark", dark, true}}) {
        SCOPED_TRACE(name);
        QApplication::setPalette(palette);
        // The rows are built again in the new colours.
        EXPECT_TRUE(test::processEventsUntil([&] {
            const QWidget* value = named(&view, u"Connected"_s);
            return value &&
                   (value->palette().color(QPalette::WindowText).lightness() > 128) == isDark;
        }));
        view.resize(AppSettingsView::kWidth,
                    view.findChild<QScrollArea*>()->widget()->sizeHint().height());
        QCoreApplication::processEvents();
        const QImage image = view.grab().toImage();
        EXPECT_EQ(image.pixelColor(4, 4).lightness() < 128, isDark);
        if (!screenshots.isEmpty()) {
            image.save(QString::fromLocal8Bit(screenshots) + u"/settings-"_s + QLatin1String(name) +
                       u".png"_s);
        }
    }
    QApplication::setPalette(light);

    named<QPushButton>(&view, u"Sign Out of Quotamind"_s)->click();
    EXPECT_TRUE(test::processEventsUntil(
        [&] { return !named<QPushButton>(&view, u"Sign Out of Quotamind"_s); }));
    EXPECT_FALSE(account.stored);
}

TEST_F(AppSettingsViewTest, ShowingAgainRaisesTheOpenWindowAndEscapeClosesIt) {
    AppSettingsView* first = &open();
    EXPECT_EQ(window.show(), first);
    press(named(first, u"Launch at Login"_s), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.show()->isVisible());
    EXPECT_EQ(built, 2);
}

}  // namespace
