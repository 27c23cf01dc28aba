#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <ctime>

#include "fake_notification_center.h"
#include "model/shared_snapshot_store.h"
#include "notify/limit_notification_manager.h"
#include "phone/lan_pairing_storage.h"
#include "platform/autostart.h"
#include "store/phone_fakes.h"
#include "store/store_fixture.h"
#include "support/named_rows.h"
#include "ui/settings/app_settings_view.h"
#include "ui/settings/settings_form.h"
#include "ui/settings/settings_window.h"
#include "ui/tray/tray_icon_appearance.h"
#include "ui/tray/tray_icon_settings.h"
#include "window_test_support.h"

using namespace Qt::StringLiterals;

namespace {

using Status = NotificationCenter::AuthorizationStatus;
using test::usage;

// The visible widget of that accessible name under `root`; nullptr when there is none.
template <class Widget = QWidget>
Widget* named(const QWidget& root, const QString& name) {
    for (Widget* widget : root.findChildren<Widget*>()) {
        if (widget->accessibleName() == name && widget->isVisibleTo(&root)) {
            return widget;
        }
    }
    return nullptr;
}

// The window, opened through SettingsWindow, on a store that reads the snapshot and the paired
// phone as it starts and writes its autostart entry in the test's folder.
class AppSettingsViewTest : public test::StoreFixture {
protected:
    void TearDown() override {
        window.close();
        signIn.reset();
        store.reset();
    }

    AppSettingsView& open() {
        startup = &entry;
        makeStore();
        phone.emplace(clock, standard);
        notifications = std::make_unique<LimitNotificationManager>(center, clock, standard);
        AppSettingsView& view = *window.show();
        EXPECT_TRUE(test::processEventsUntil([&] { return !view.isLoadingCredentials(); }));
        QCoreApplication::processEvents();
        return view;
    }

    XdgAutostart entry{directory.filePath(u"autostart/quotamind.desktop"_s), u"quotamind"_s};
    std::optional<test::FakePhone> phone;
    test::FakeNotificationCenter center;
    std::unique_ptr<LimitNotificationManager> notifications;
    int built = 0;
    SettingsWindow window{[this] {
        ++built;
        return new AppSettingsView(
            {*store, phone->link, *signIn, *notifications, account, standard});
    }};
};

struct SwitchRow {
    const char* name;
    QString toggle;
    bool autostartFolderIsAFile;
    Status permission;
    bool on;  // once clicked
};

class SettingsSwitchTest : public AppSettingsViewTest,
                           public testing::WithParamInterface<SwitchRow> {};

// A switch shows what was written or allowed, not what was asked for.
TEST_P(SettingsSwitchTest, ShowsWhatTheSystemTookAfterAClick) {
    const SwitchRow& row = GetParam();
    if (row.autostartFolderIsAFile) {
        QFile(directory.filePath(u"autostart"_s)).open(QIODevice::WriteOnly);
    }
    center.status = row.permission;
    AppSettingsView& view = open();
    test::runTask(notifications->refreshAuthorizationStatus());
    QCoreApplication::processEvents();
    auto* toggle = named<QCheckBox>(view, row.toggle);
    ASSERT_TRUE(toggle && !toggle->isChecked());
    toggle->click();
    const bool launch = row.toggle == u"Launch at Login"_s;
    EXPECT_TRUE(test::processEventsUntil([&] {
        return toggle->isChecked() == row.on &&
               (launch ? store->launchAtLoginEnabled() == row.on && entry.isEnabled() == row.on
                       : named(*named(view, u"Notifications"_s), u"Status"_s)
                                 ->accessibleDescription() ==
                             (row.on ? u"On"_s : u"Off in System Settings"_s));
    }));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SettingsSwitchTest,
    testing::Values(SwitchRow{"LaunchAtLoginWritesTheEntry", u"Launch at Login"_s, false,
                              Status::NotDetermined, true},
                    SwitchRow{"LaunchAtLoginWithoutAFolder", u"Launch at Login"_s, true,
                              Status::NotDetermined, false},
                    SwitchRow{"NotificationsAskedAndAllowed", u"Notify When Limits Reset"_s, false,
                              Status::NotDetermined, true},
                    SwitchRow{"NotificationsRefusedEarlier", u"Notify When Limits Reset"_s, false,
                              Status::Denied, false}),
    rowName);

// Signed in, paired, delivered and alerted: the whole form, the tray icon's choices, the palette,
// signing out, and the window's life.
TEST_F(AppSettingsViewTest, EverythingOnEndToEnd) {
    account.stored = CodexCredentials{};
    LanPairingStorage(standard).save(PairedPhoneInfo{u"iPhone15,2"_s, Timestamp(7e8)},
                                     LanPairingStorage::kPairedPhoneKey);
    standard.setDate(LanPairingStorage::kLastPhoneDataSentAtKey, Timestamp(789318429));
    standard.setBool(LimitNotificationManager::kEnabledKey, true);
    center.status = Status::Authorized;
    SharedSnapshotStore::save(test::snapshot({usage("codex", {test::fiveHour(30)}),
                                              usage("claude", {test::fiveHour(60)})}),
                              preferences);
    AppSettingsView& view = open();
    test::runTask(notifications->refreshAuthorizationStatus());

    QStringList reached;
    for (int presses = 0; presses < 10; ++presses) {
        QTest::keyClick(view.focusWidget() ? view.focusWidget() : &view, Qt::Key_Tab);
        reached << view.focusWidget()->accessibleName();
    }
    EXPECT_TRUE(reached.join(u", "_s).contains(
        u"Appearance, Notify When Limits Reset, Notify at Usage Thresholds, Launch at Login, "
        u"Sign Out of Quotamind, Agent, Appearance"_s))
        << reached.join(u", "_s).toStdString();

    // Threshold alerts: once on, the thresholds can be edited; a text that is no list of
    // percents stays with a warning and changes nothing.
    named<QCheckBox>(view, u"Notify at Usage Thresholds"_s)->click();
    EXPECT_TRUE(notifications->thresholdAlertsEnabled());
    const auto field = [&] { return named<QLineEdit>(view, u"Thresholds (% used)"_s); };
    ASSERT_TRUE(test::processEventsUntil([&] { return field() && field()->isEnabled(); }));
    const QString warning =
        u"Thresholds are whole percents from 1 to 100, at most five, separated by commas."_s;
    for (const QString& text : {u"90, x"_s, u"95,90"_s}) {
        field()->setText(text);
        Q_EMIT field()->editingFinished();
        EXPECT_TRUE(test::processEventsUntil(
            [&] { return (named(view, warning) != nullptr) == (text == u"90, x"_s); }));
    }
    EXPECT_EQ(notifications->thresholdPercents(), (std::vector{90, 95}));

    // Choosing the icon's agent or appearance stores it and asks for the icon to be redrawn.
    QSignalSpy redraws(&view, &AppSettingsView::trayIconChanged);
    auto* picker = named<QComboBox>(view, u"Agent"_s);
    EXPECT_EQ(picker->currentData(), u"codex"_s);
    QTest::keyClick(picker, Qt::Key_Down);
    EXPECT_EQ(standard.string(TrayIconSettings::kProviderKey), u"claude"_s);
    auto* appearance = named<QComboBox>(view, u"Appearance"_s);
    EXPECT_EQ(appearance->currentData(), u"automatic"_s);
    QTest::keyClick(appearance, Qt::Key_End);
    EXPECT_EQ(standard.string(TrayIconAppearance::kPreferenceKey), u"dark"_s);
    EXPECT_EQ(redraws.count(), 2);

    // The rows are built again in the desktop's new colours.
    const auto images = test::inBothSchemes(view, u"settings"_s, [&](bool dark) {
        const QWidget* value = named(view, u"Connected"_s);
        view.resize(AppSettingsView::kWidth,
                    view.findChild<QScrollArea*>()->widget()->sizeHint().height());
        return value && (value->palette().color(QPalette::WindowText).lightness() > 128) == dark;
    });
    EXPECT_GE(images[0].pixelColor(4, 4).lightness(), 128);
    EXPECT_LT(images[1].pixelColor(4, 4).lightness(), 128);

    named<QPushButton>(view, u"Sign Out of Quotamind"_s)->click();
    EXPECT_TRUE(test::processEventsUntil(
        [&] { return !named<QPushButton>(view, u"Sign Out of Quotamind"_s); }));
    EXPECT_FALSE(account.stored);

    // Showing again raises the open window; Escape closes it, and the next is a new one.
    EXPECT_EQ(window.show(), &view);
    QTest::keyClick(named(view, u"Launch at Login"_s), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.show()->isVisible());
    EXPECT_EQ(built, 2);
}

// 2026-01-05 15:07:09 UTC and 2026-01-06 00:05:00 UTC.
constexpr Timestamp kAfternoon(789318429);
constexpr Timestamp kPastMidnight(789350700);

AgentUsage usage(const std::string& provider, std::string plan, UsageSource source) {
    return {.windows = {},
            .provider = {provider},
            .agentName = provider == "codex" ? "Codex" : "Claude",
            .planType = std::move(plan),
            .updatedAt = kAfternoon,
            .source = source};
}

// The headings, then every row as "heading / title: what it shows".
QStringList describe(const std::vector<SettingsSection>& sections) {
    QStringList headings;
    QStringList rows;
    for (const SettingsSection& section : sections) {
        headings << section.heading;
        for (const SettingsRow& row : section.rows) {
            QString shown = row.caption.isEmpty() ? row.value : row.value + u" / "_s + row.caption;
            if (row.control == SettingsControl::Toggle) {
                shown = row.on ? u"on"_s : u"off"_s;
            } else if (row.control == SettingsControl::Button) {
                shown = row.enabled ? u"enabled"_s : u"disabled"_s;
            } else if (row.control == SettingsControl::Picker) {
                shown =
                    row.selected + u" of "_s + row.choices[0].value + u' ' + row.choices[1].value;
            } else if (row.control != SettingsControl::Value) {
                shown = u"shown"_s;
            }
            rows << section.heading + u" / "_s + row.title + u": "_s + shown;
        }
    }
    return QStringList{headings.join(u", "_s)} + rows;
}

// Each state's headings, rows among those shown, and texts shown nowhere. Dates are written in
// English whatever the locale, in local time (UTC here).
TEST(SettingsFormTest, SectionsAndRowsFollowTheirConditions) {
    SettingsState nothing;  // nothing stored, nothing paired
    nothing.notificationError = QString();
    SettingsState twoUsages;
    twoUsages.snapshot =
        AgentUsageSnapshot({usage("claude", "pro", UsageSource::LocalDesktop),
                            usage("codex", "unknown", UsageSource::AccountSession)});
    twoUsages.iconProvider = u"claude"_s;
    // Read since its last change; an older read does not count.
    twoUsages.readTimes.times = {{"codex", kPastMidnight}, {"claude", kAfternoon - 60}};
    SettingsState paired;  // signed in, delivered, with errors
    paired.snapshot = AgentUsageSnapshot({usage("claude", "max 20X", UsageSource::LocalDesktop)});
    paired.phonePaired = paired.hasStoredCredentials = true;
    paired.lastPhoneDataSentAt = kAfternoon;
    paired.notificationError = u"No permission"_s;
    const QString all =
        u"Tray Icon, Connection, Current snapshots, Notifications, This Computer, "
        u"Updates to iPhone, Widget"_s;
    const std::tuple<const SettingsState&, QString, QStringList, QStringList> rows[] = {
        {nothing,
         u"Tray Icon, Connection, Notifications, This Computer, Updates to iPhone, Widget"_s,
         {u"Tray Icon / Appearance: automatic of automatic light"_s,
          u"Connection / iPhone: Not paired"_s,
          u"Updates to iPhone / Last data sent: Not sent yet"_s},
         {u"Tray Icon / Agent"_s, u"This Computer / Sign Out of Quotamind"_s, u" / : shown"_s}},
        {twoUsages,
         all,
         {u"Tray Icon / Agent: claude of claude codex"_s,
          u"Current snapshots / Codex: — / Jan 6, 12:05 AM"_s,
          u"Current snapshots / Claude: Pro / Jan 5, 3:07 PM"_s},
         {}},
        {paired,
         all,
         {u"Current snapshots / Claude: Max 20x / Jan 5, 3:07 PM"_s,
          u"Connection / iPhone: Connected"_s, u"This Computer / Sign Out of Quotamind: enabled"_s,
          u"Updates to iPhone / Last data sent: Jan 5, 3:07:09 PM"_s,
          u"Notifications / No permission: shown"_s},
         {}},
    };
    qputenv("TZ", "UTC");
    tzset();
    QLocale::setDefault(QLocale(QLocale::German));
    for (const auto& [state, headings, shown, absent] : rows) {
        const QStringList described = describe(appSettingsSections(state));
        const QString text = described.join(u'\n');
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(described.front(), headings);
        for (const QString& row : shown) {
            EXPECT_TRUE(described.contains(row)) << row.toStdString();
        }
        for (const QString& row : absent) {
            EXPECT_FALSE(text.contains(row)) << row.toStdString();
        }
    }
    QLocale::setDefault(QLocale::c());
}

}  // namespace
