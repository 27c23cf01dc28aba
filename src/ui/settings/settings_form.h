#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "core/timestamp.h"
#include "model/agent_read_times.h"
#include "model/agent_usage_snapshot.h"

// What the settings window shows, as plain values: the store's, the notification manager's and
// the icon preference's current state. The window rebuilds it after every change they announce.
struct SettingsState {
    std::optional<AgentUsageSnapshot> snapshot;
    // Each agent's last successful read, which "Current snapshots" shows.
    AgentReadTimes readTimes;
    // The agent chosen for the tray icon; "codex" while nothing is stored.
    QString iconProvider = QStringLiteral("codex");
    // How the tray icon is drawn: "automatic", "light" or "dark".
    QString iconAppearance = QStringLiteral("automatic");
    bool notificationsEnabled = false;
    QString notificationStatus;
    std::optional<QString> notificationError;
    // The alerts at usage thresholds, their percents as the user wrote them ("80, 95"), and why
    // the last text written was not taken.
    bool thresholdAlertsEnabled = false;
    QString thresholds = QStringLiteral("80, 95");
    std::optional<QString> thresholdsError;
    bool launchAtLogin = false;
    // Stored ChatGPT credentials were found (false while they are loading or cannot be read).
    bool hasStoredCredentials = false;
    bool phonePaired = false;
    std::optional<Timestamp> lastPhoneDataSentAt;
};

enum class SettingsControl {
    Value,     // title on the leading side; value, symbol and caption on the trailing side
    Label,     // symbol and text on the leading side
    Footnote,  // small secondary text
    Warning,   // small orange text with a warning symbol
    Toggle,
    Button,
    Picker,
    TextField,  // title on the leading side, an editable text on the trailing side
};

// What a control does when the user changes it.
enum class SettingsAction {
    None,
    ChooseIconProvider,
    ChooseIconAppearance,
    SetNotifications,
    SetThresholdAlerts,
    SetThresholds,
    SetLaunchAtLogin,
    SignOut,
};

struct SettingsChoice {
    QString title{};
    QString symbol{};
    QString value{};

    bool operator==(const SettingsChoice&) const = default;
};

// One row of a section. `title` is the row's title, the toggle's or button's text, or the text of
// a label, footnote or warning.
struct SettingsRow {
    SettingsControl control = SettingsControl::Value;
    QString title{};
    QString value{};
    // A second, smaller secondary line under the value.
    QString caption{};
    QString symbol{};
    bool secondary = false;
    bool on = false;
    bool enabled = true;
    bool destructive = false;
    SettingsAction action = SettingsAction::None;
    std::vector<SettingsChoice> choices{};
    QString selected{};

    bool operator==(const SettingsRow&) const = default;
};

struct SettingsSection {
    QString heading{};
    std::vector<SettingsRow> rows{};

    bool operator==(const SettingsSection&) const = default;
};

// The sections of the settings window, in order, each present only under its condition.
std::vector<SettingsSection> appSettingsSections(const SettingsState& state);

// "Updates to iPhone": how snapshots reach the paired phone over the local network.
struct PhoneSettingsSection {
    static SettingsSection build(const SettingsState& state);
};

// An instant as the settings window writes it, in local time: "Jan 5, 3:07 PM", or
// "Jan 5, 3:07:09 PM" with seconds, in English; a translation gives its own format.
QString settingsTimeText(Timestamp instant, bool withSeconds);
