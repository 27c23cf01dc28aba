#include "ui/app_settings_view.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSystemTrayIcon>

#include "memory_secret_store.h"
#include "model/shared_container.h"
#include "notify/limit_notification_manager.h"
#include "phone/lan_pairing_storage.h"
#include "store/store_fakes.h"
#include "store/usage_store.h"
#include "support/run_task.h"
#include "support/temporary_config_home.h"
#include "ui/mac_menu_bar_controller.h"
#include "ui/menu_bar_icon_preferences.h"
#include "ui/settings_window.h"

using namespace Qt::StringLiterals;

namespace {

using Status = NotificationCenter::AuthorizationStatus;

const PairedPhoneInfo kPhone{u"iPhone15,2"_s, Timestamp(700000000)};

class FakeCenter final : public NotificationCenter {
public:
    Status status = Status::notDetermined;

    QCoro::Task<Status> authorizationStatus() override { co_return status; }
    // The user allows.
    QCoro::Task<> requestAuthorization() override {
        status = Status::authorized;
        co_return;
    }
    void add(NotificationRequest, Completion completion) override { completion(std::nullopt); }
    void removeAllPendingRequests() override {}
};

AgentUsage usage(const std::string& provider) {
    return {.windows = {{.usedPercent = 30, .durationSeconds = 18000, .resetDate = Timestamp(1e9)}},
            .provider = {provider},
            .agentName = provider == "codex" ? "Codex" : "Claude",
            .planType = "plus",
            .updatedAt = Timestamp(789318429),
            .source = UsageSource::localDesktop};
}

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

QPalette darkPalette() {
    QPalette palette;
    const QColor text(0xE6, 0xE6, 0xE6);
    for (auto [role, color] : {std::pair{QPalette::Window, QColor(0x1E, 0x1E, 0x1E)},
                               {QPalette::Base, QColor(0x2B, 0x2B, 0x2B)},
                               {QPalette::Button, QColor(0x3A, 0x3A, 0x3A)},
                               {QPalette::WindowText, text},
                               {QPalette::Text, text},
                               {QPalette::ButtonText, text}}) {
        palette.setColor(role, color);
    }
    return palette;
}

class AppSettingsViewTest : public test::TemporaryConfigHome {
protected:
    // A window on a new store, which reads the snapshot and the autostart entry as it starts.
    AppSettingsView& open(const std::vector<AgentUsage>& usages = {}) {
        view.reset();
        store.reset();
        loginItem.emplace(XdgAutostartLoginItem::forThisProgram());
        if (!usages.empty()) {
            SharedContainer::save(AgentUsageSnapshot(usages), shared);
        }
        store = std::make_unique<UsageStore>(
            UsageStore::Services{clock, appServer, authFile, account, claude, followers, servers,
                                 wake, followers, *loginItem, secrets, shared, preferences});
        notifications = std::make_unique<LimitNotificationManager>(center, clock, preferences);
        view = std::make_unique<AppSettingsView>(
            SettingsServices{*store, *notifications, account, preferences});
        view->show();
        EXPECT_TRUE(test::processEventsUntil([this] { return !view->isLoadingCredentials(); }));
        QCoreApplication::processEvents();
        return *view;
    }

    const QString entryPath = path(u"autostart/com.brindlecove.Quotamind.desktop"_s);
    std::optional<XdgAutostartLoginItem> loginItem;
    Preferences preferences{path(u"Quotamind.conf"_s)};
    Preferences shared{path(u"group.conf"_s)};
    ManualClock clock;
    test::FakeAppServer appServer{clock};
    test::FakeUsageSource authFile{clock};
    test::FakeAccount account{clock};
    test::FakeUsageSource claude{clock};
    test::Followers followers;
    test::FakePairingServers servers;
    test::FakeWakeSender wake{clock};
    MemorySecretStore secrets;
    FakeCenter center;
    std::unique_ptr<UsageStore> store;
    std::unique_ptr<LimitNotificationManager> notifications;
    std::unique_ptr<AppSettingsView> view;
};

TEST_F(AppSettingsViewTest, ChoosingAnAgentStoresItAndRedrawsTheTrayIconAtOnce) {
    AppSettingsView& view = open({usage("codex"), usage("claude")});
    MacMenuBarController tray(*store, clock, preferences);
    tray.finishLaunching();
    auto* picker = named<QComboBox>(&view, u"Agent"_s);
    ASSERT_TRUE(picker);
    // Nothing stored: "codex" is shown chosen, the tray shows the first usage.
    EXPECT_EQ(picker->currentData(), u"codex"_s);
    EXPECT_TRUE(tray.statusItem()->toolTip().startsWith(u"Codex:"_s));
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(picker, &down);
    EXPECT_EQ(preferences.string(MenuBarIconPreferences::kProviderKey), u"claude"_s);
    EXPECT_TRUE(tray.statusItem()->toolTip().startsWith(u"Claude:"_s));
}

TEST_F(AppSettingsViewTest, LaunchAtLoginShowsTheAutostartEntryReadBack) {
    struct Case {
        const char* name;
        std::optional<QByteArray> entry;
        bool folderIsAFile;
        bool shownBefore;
        bool shownAfterClick;
    };
    const Case cases[] = {
        {"no entry: switching on writes one", std::nullopt, false, false, true},
        {"an entry the desktop hides reads as off", "[Desktop Entry]\nHidden=true\n", false, false,
         true},
        {"switching off removes the entry", "[Desktop Entry]\nType=Application\n", false, true,
         false},
        {"an entry that cannot be written stays off", std::nullopt, true, false, false},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        QDir(path(u"autostart"_s)).removeRecursively();
        QFile::remove(path(u"autostart"_s));
        if (testCase.entry) {
            QDir().mkpath(path(u"autostart"_s));
        }
        if (testCase.entry || testCase.folderIsAFile) {
            QFile file(testCase.entry ? entryPath : path(u"autostart"_s));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(testCase.entry.value_or(QByteArray()));
        }
        AppSettingsView& view = open();
        auto* toggle = named<QCheckBox>(&view, u"Launch at Login"_s);
        ASSERT_TRUE(toggle);
        EXPECT_EQ(toggle->isChecked(), testCase.shownBefore);
        toggle->click();
        EXPECT_TRUE(test::processEventsUntil([&] {
            return toggle->isChecked() == testCase.shownAfterClick &&
                   store->launchAtLoginEnabled() == testCase.shownAfterClick;
        }));
        EXPECT_EQ(loginItem->isEnabled(), testCase.shownAfterClick);
    }
}

TEST_F(AppSettingsViewTest, TheNotificationSwitchShowsWhatThePermissionAllows) {
    // Asked for the first time and allowed; refused earlier, which the switch cannot change.
    for (const auto& [before, on, status] :
         {std::tuple{Status::notDetermined, true, u"On"_s},
          std::tuple{Status::denied, false, u"Off in System Settings"_s}}) {
        SCOPED_TRACE(status.toStdString());
        center.status = before;
        preferences.remove(LimitNotificationManager::kEnabledKey);
        AppSettingsView& view = open();
        test::runTask(notifications->refreshAuthorizationStatus());
        QCoreApplication::processEvents();
        auto* toggle = named<QCheckBox>(&view, u"Notify When Limits Reset"_s);
        ASSERT_TRUE(toggle);
        toggle->click();
        const QWidget* section = named(&view, u"Notifications"_s);
        EXPECT_TRUE(test::processEventsUntil([&] {
            return toggle->isChecked() == on &&
                   named(section, u"Status"_s)->accessibleDescription() == status;
        }));
    }
}

TEST_F(AppSettingsViewTest, SignOutIsOfferedWhileCredentialsAreStored) {
    account.stored = CodexCredentials{};
    AppSettingsView& view = open();
    auto* signOut = named<QPushButton>(&view, u"Sign Out of Quotamind"_s);
    ASSERT_TRUE(signOut);
    signOut->click();
    EXPECT_TRUE(test::processEventsUntil(
        [&] { return !named<QPushButton>(&view, u"Sign Out of Quotamind"_s); }));
    EXPECT_FALSE(account.stored);
}

TEST_F(AppSettingsViewTest, TheTestWakeWaitsForAPhoneAndShowsWhenItWasSent) {
    LANPairingStorage(preferences).save(kPhone, LANPairingStorage::kPairedPhoneKey);
    AppSettingsView& view = open();
    const QWidget* push = named(&view, u"Push to iPhone"_s);
    EXPECT_FALSE(named(push, u"Last wake signal"_s));
    auto* send = named<QPushButton>(push, u"Send Test Push"_s);
    ASSERT_TRUE(send && send->isEnabled());
    send->click();
    EXPECT_TRUE(test::processEventsUntil([&] {
        const QWidget* sent = named(named(&view, u"Push to iPhone"_s), u"Last wake signal"_s);
        return sent && sent->accessibleDescription() == settingsTimeText(clock.now(), false);
    }));
    EXPECT_EQ(wake.sentAt.size(), 1u);
}

TEST_F(AppSettingsViewTest, TabReachesEveryEnabledControlInFormOrder) {
    account.stored = CodexCredentials{};
    AppSettingsView& view = open({usage("claude"), usage("codex")});
    QStringList reached;
    for (int press = 0; press < 8; ++press) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QCoreApplication::sendEvent(view.focusWidget() ? view.focusWidget() : &view, &tab);
        reached << view.focusWidget()->accessibleName();
    }
    // The focus goes round these four; "Send Test Push" waits for a phone.
    EXPECT_THAT(reached.join(u", "_s).toStdString(),
                testing::HasSubstr("Agent, Notify When Limits Reset, Launch at Login, Sign Out of "
                                   "Quotamind, Agent"));
}

TEST_F(AppSettingsViewTest, FollowsTheLightAndDarkPalettes) {
    // Everything on: signed in, paired, delivered, alerts allowed.
    account.stored = CodexCredentials{};
    LANPairingStorage(preferences).save(kPhone, LANPairingStorage::kPairedPhoneKey);
    preferences.setDate(LANPairingStorage::kLastPhoneDataSentAtKey, Timestamp(789318429));
    preferences.setBool(LimitNotificationManager::kEnabledKey, true);
    center.status = Status::authorized;
    AppSettingsView& view = open({usage("codex"), usage("claude")});
    test::runTask(notifications->refreshAuthorizationStatus());
    const QByteArray screenshots = qgetenv("QUOTAMIND_SCREENSHOT_DIR");
    const QPalette original = QApplication::palette();
    for (const auto& [name, palette, dark] :
         {std::tuple{"light", original, false}, std::tuple{"dark", darkPalette(), true}}) {
        SCOPED_TRACE(name);
        int renders = 0;
        const QMetaObject::Connection counting =
            QObject::connect(&view, &AppSettingsView::rendered, [&renders] { ++renders; });
        QApplication::setPalette(palette);
        EXPECT_TRUE(test::processEventsUntil([&] { return renders > 0 || !dark; }));
        QObject::disconnect(counting);
        const QWidget* content = view.findChild<QScrollArea*>()->widget();
        view.resize(AppSettingsView::kWidth, content->sizeHint().height());
        QCoreApplication::processEvents();
        const QImage image = view.grab().toImage();
        const QWidget* card = named(&view, u"Connection"_s);
        const QColor window = image.pixelColor(4, 4);
        const QColor inCard = image.pixelColor(card->mapTo(&view, QPoint(card->width() - 4, 20)));
        EXPECT_EQ(window.lightness() < 128, dark);
        EXPECT_GT(inCard.lightness(), window.lightness());
        const QWidget* value = named(card, u"Connected"_s);
        ASSERT_TRUE(value);
        const QColor text = value->palette().color(QPalette::WindowText);
        EXPECT_EQ(text.lightness() > 128, dark);
        if (!screenshots.isEmpty()) {
            image.save(QString::fromLocal8Bit(screenshots) + u"/settings-"_s + QLatin1String(name) +
                       u".png"_s);
        }
    }
    QApplication::setPalette(original);
}

TEST_F(AppSettingsViewTest, ShowingAgainRaisesTheOpenWindowAndEscapeClosesIt) {
    open();
    int built = 0;
    SettingsWindow window([&] {
        ++built;
        return new AppSettingsView(SettingsServices{*store, *notifications, account, preferences});
    });
    AppSettingsView* first = window.show();
    EXPECT_EQ(window.show(), first);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(named(first, u"Launch at Login"_s), &escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    AppSettingsView* second = window.show();
    EXPECT_EQ(built, 2);
    EXPECT_TRUE(second->isVisible());
}

}  // namespace
