#include "settings_form.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include "model/agent_provider.h"
#include "model/agent_read_times.h"
#include "model/usage_source.h"
#include "symbols/symbols.h"
#include "ui/common/pane_style.h"

namespace {

SettingsRow valueRow(QString title, QString value, QString symbol, bool secondary = false) {
    return {.title = std::move(title),
            .value = std::move(value),
            .symbol = std::move(symbol),
            .secondary = secondary};
}

SettingsRow textRow(SettingsControl control, QString text, QString symbol = {}) {
    return {.control = control, .title = std::move(text), .symbol = std::move(symbol)};
}

SettingsRow toggleRow(QString title, bool on, SettingsAction action) {
    return {
        .control = SettingsControl::Toggle, .title = std::move(title), .on = on, .action = action};
}

SettingsRow buttonRow(QString title, SettingsAction action, bool enabled, bool destructive) {
    return {.control = SettingsControl::Button,
            .title = std::move(title),
            .enabled = enabled,
            .destructive = destructive,
            .action = action};
}

// An error text, when there is one, as the section's last row.
void addWarning(SettingsSection& section, const std::optional<QString>& text) {
    if (text && !text->isEmpty()) {
        section.rows.push_back(textRow(SettingsControl::Warning, *text,
                                       QStringLiteral("exclamationmark.triangle.fill")));
    }
}

const AgentUsage* usageOf(const std::vector<AgentUsage>& usages, const AgentProvider& provider) {
    for (const AgentUsage& usage : usages) {
        if (usage.provider == provider) {
            return &usage;
        }
    }
    return nullptr;
}

// The tray icon: its look always, its agent when there are two to choose from.
SettingsSection trayIconSection(const std::vector<AgentUsage>& usages, const SettingsState& state) {
    SettingsSection section{QCoreApplication::translate("AppSettingsView", "Tray Icon"), {}};
    if (usages.size() >= 2) {
        SettingsRow picker{.control = SettingsControl::Picker,
                           .title = QCoreApplication::translate("AppSettingsView", "Agent"),
                           .action = SettingsAction::ChooseIconProvider,
                           .selected = state.iconProvider};
        for (const AgentUsage& usage : usages) {
            const QString raw = QString::fromStdString(usage.provider.rawValue);
            picker.choices.push_back(
                {QString::fromStdString(usage.agentName), Symbols::forProvider(raw), raw});
        }
        section.rows.push_back(std::move(picker));
        section.rows.push_back(
            textRow(SettingsControl::Footnote,
                    QCoreApplication::translate(
                        "AppSettingsView",
                        "Choose which agent's remaining allowance is shown in the panel's tray.")));
    }
    section.rows.push_back(
        {.control = SettingsControl::Picker,
         .title = QCoreApplication::translate("AppSettingsView", "Appearance"),
         .action = SettingsAction::ChooseIconAppearance,
         .choices = {{QCoreApplication::translate("AppSettingsView", "Automatic"),
                      {},
                      QStringLiteral("automatic")},
                     {QCoreApplication::translate("AppSettingsView", "Light"),
                      {},
                      QStringLiteral("light")},
                     {QCoreApplication::translate("AppSettingsView", "Dark"),
                      {},
                      QStringLiteral("dark")}},
         .selected = state.iconAppearance});
    section.rows.push_back(
        textRow(SettingsControl::Footnote,
                QCoreApplication::translate(
                    "AppSettingsView",
                    "Automatic reads on light and dark panels alike and follows what the desktop "
                    "says about its panel. Light suits a dark panel, Dark a light one.")));
    return section;
}

SettingsSection connectionSection(const std::vector<AgentUsage>& usages, bool phonePaired) {
    SettingsSection section{QCoreApplication::translate("AppSettingsView", "Connection"), {}};
    for (const AgentProvider& provider : AgentProvider::desktopProviders()) {
        const QString raw = QString::fromStdString(provider.rawValue);
        const QString name = paneStyle::displayName(provider);
        if (const AgentUsage* usage = usageOf(usages, provider)) {
            section.rows.push_back(valueRow(name, label(usage->source), Symbols::forProvider(raw)));
        } else {
            section.rows.push_back(
                valueRow(name, QCoreApplication::translate("AppSettingsView", "Not connected"),
                         QStringLiteral("circle.dotted"), true));
        }
    }
    section.rows.push_back(
        phonePaired ? valueRow(QCoreApplication::translate("AppSettingsView", "iPhone"),
                               QCoreApplication::translate("AppSettingsView", "Connected"),
                               QStringLiteral("checkmark.circle.fill"))
                    : valueRow(QCoreApplication::translate("AppSettingsView", "iPhone"),
                               QCoreApplication::translate("AppSettingsView", "Not paired"),
                               QStringLiteral("iphone.slash"), true));
    return section;
}

SettingsSection snapshotsSection(const std::vector<AgentUsage>& usages,
                                 const AgentReadTimes& readTimes) {
    SettingsSection section{QCoreApplication::translate("AppSettingsView", "Current snapshots"),
                            {}};
    for (const AgentUsage& usage : usages) {
        SettingsRow row = valueRow(
            QString::fromStdString(usage.agentName),
            usage.displayPlanName().value_or(QCoreApplication::translate("AppSettingsView", "—")),
            {});
        // When the agent was last read, not when its limits last changed.
        row.caption = settingsTimeText(lastReadOf(usage, readTimes[usage.provider]), false);
        section.rows.push_back(std::move(row));
    }
    return section;
}

SettingsSection notificationsSection(const SettingsState& state) {
    SettingsSection section{
        QCoreApplication::translate("AppSettingsView", "Notifications"),
        {toggleRow(QCoreApplication::translate("AppSettingsView", "Notify When Limits Reset"),
                   state.notificationsEnabled, SettingsAction::SetNotifications),
         valueRow(QCoreApplication::translate("AppSettingsView", "Status"),
                  state.notificationStatus, {}, true),
         textRow(SettingsControl::Footnote,
                 QCoreApplication::translate(
                     "AppSettingsView",
                     "Quotamind alerts you when each agent’s 5-hour or weekly allowance becomes "
                     "available again. Updated reset times replace older alerts automatically."))}};
    addWarning(section, state.notificationError);
    section.rows.push_back(
        toggleRow(QCoreApplication::translate("AppSettingsView", "Notify at Usage Thresholds"),
                  state.thresholdAlertsEnabled, SettingsAction::SetThresholdAlerts));
    section.rows.push_back(
        {.control = SettingsControl::TextField,
         .title = QCoreApplication::translate("AppSettingsView", "Thresholds (% used)"),
         .value = state.thresholds,
         .enabled = state.thresholdAlertsEnabled,
         .action = SettingsAction::SetThresholds});
    addWarning(section, state.thresholdsError);
    section.rows.push_back(
        textRow(SettingsControl::Footnote,
                QCoreApplication::translate(
                    "AppSettingsView",
                    "Once per window and reset, when its use first reaches each threshold.")));
    return section;
}

// This computer's own switches.
SettingsSection thisComputerSection(const SettingsState& state) {
    SettingsSection section{
        QCoreApplication::translate("AppSettingsView", "This Computer"),
        {toggleRow(QCoreApplication::translate("AppSettingsView", "Launch at Login"),
                   state.launchAtLogin, SettingsAction::SetLaunchAtLogin),
         textRow(SettingsControl::Footnote,
                 QCoreApplication::translate("AppSettingsView",
                                             "Keep Quotamind running so your iPhone and widgets "
                                             "can receive fresh local snapshots."))}};
    if (state.hasStoredCredentials) {
        section.rows.push_back(
            buttonRow(QCoreApplication::translate("AppSettingsView", "Sign Out of Quotamind"),
                      SettingsAction::SignOut, true, true));
    }
    return section;
}

}  // namespace

std::vector<SettingsSection> appSettingsSections(const SettingsState& state) {
    static const std::vector<AgentUsage> kNoUsages;
    const std::vector<AgentUsage>& usages = state.snapshot ? state.snapshot->usages : kNoUsages;
    std::vector<SettingsSection> sections;
    sections.push_back(trayIconSection(usages, state));
    sections.push_back(connectionSection(usages, state.phonePaired));
    if (!usages.empty()) {
        sections.push_back(snapshotsSection(usages, state.readTimes));
    }
    sections.push_back(notificationsSection(state));
    sections.push_back(thisComputerSection(state));
    sections.push_back(PhoneSettingsSection::build(state));
    sections.push_back(
        {QCoreApplication::translate("AppSettingsView", "Widget"),
         {textRow(SettingsControl::Label,
                  QCoreApplication::translate(
                      "AppSettingsView", "Use “Quotamind — Custom” to choose an agent and limit."),
                  QStringLiteral("rectangle.3.group"))}});
    return sections;
}

SettingsSection PhoneSettingsSection::build(const SettingsState& state) {
    // The phone is reached over the local network only: nothing on Linux can wake it while it is
    // away, so there is no wake to show, test or report.
    SettingsSection section{QCoreApplication::translate("AppSettingsView", "Updates to iPhone"),
                            {}};
    section.rows.push_back(
        state.phonePaired
            ? valueRow(QCoreApplication::translate("AppSettingsView", "Status"),
                       QCoreApplication::translate("AppSettingsView", "Enabled automatically"),
                       QStringLiteral("checkmark.circle.fill"))
            : valueRow(QCoreApplication::translate("AppSettingsView", "Status"),
                       QCoreApplication::translate("AppSettingsView", "Waiting for iPhone"),
                       QStringLiteral("hourglass"), true));
    section.rows.push_back(
        valueRow(QCoreApplication::translate("AppSettingsView", "Delivery"),
                 QCoreApplication::translate("AppSettingsView", "Live changes on the same network"),
                 QStringLiteral("dot.radiowaves.left.and.right")));
    section.rows.push_back(valueRow(
        QCoreApplication::translate("AppSettingsView", "Last data sent"),
        state.lastPhoneDataSentAt ? settingsTimeText(*state.lastPhoneDataSentAt, true)
                                  : QCoreApplication::translate("AppSettingsView", "Not sent yet"),
        {}, true));
    section.rows.push_back(textRow(
        SettingsControl::Footnote,
        QCoreApplication::translate(
            "AppSettingsView",
            "No setup is required. Codex changes are detected through one persistent session, "
            "normally within a few seconds while this computer is active, and sent immediately to "
            "the iPhone while it is on the same network as this computer. When it is away, it "
            "receives the latest limits as soon as it connects again.")));
    return section;
}

QString settingsTimeText(Timestamp instant, bool withSeconds) {
    //: How the settings write an instant (QDateTime format): "Jan 5, 3:07 PM" in English.
    const char* const minutes = QT_TRANSLATE_NOOP("AppSettingsView", "MMM d, h:mm AP");
    //: The same with seconds: "Jan 5, 3:07:09 PM" in English.
    const char* const seconds = QT_TRANSLATE_NOOP("AppSettingsView", "MMM d, h:mm:ss AP");
    const char* const format = withSeconds ? seconds : minutes;
    const QString translated = QCoreApplication::translate("AppSettingsView", format);
    // English keeps its month names and the AM/PM clock whatever the locale; a translation's own
    // format takes the month names of the system's locale.
    static const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
    const QLocale locale = translated == QLatin1String(format) ? kEnglish : QLocale();
    return locale.toString(instant.toDateTime().toLocalTime(), translated);
}
