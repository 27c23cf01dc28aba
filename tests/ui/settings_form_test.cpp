#include "ui/settings/settings_form.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <ctime>
#include <functional>

#include "support/named_rows.h"

using namespace Qt::StringLiterals;

namespace {

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

struct FormRow {
    const char* name;
    std::function<void(SettingsState&)> given;
    const char* headings;
    std::vector<const char*> shown;
    std::vector<const char*> absent;
};

class SettingsFormTest : public testing::TestWithParam<FormRow> {};

// Dates are written in English whatever the locale, in local time (UTC here).
TEST_P(SettingsFormTest, SectionsAndRowsFollowTheirConditions) {
    qputenv("TZ", "UTC");
    tzset();
    QLocale::setDefault(QLocale(QLocale::German));
    SettingsState state;
    GetParam().given(state);
    const QStringList described = describe(appSettingsSections(state));
    QLocale::setDefault(QLocale::c());
    const std::string all = described.join(u'\n').toStdString();
    SCOPED_TRACE(all);
    EXPECT_EQ(described.front().toStdString(), GetParam().headings);
    for (const char* row : GetParam().shown) {
        EXPECT_TRUE(described.contains(QString::fromUtf8(row))) << row;
    }
    for (const char* row : GetParam().absent) {
        EXPECT_EQ(all.find(row), std::string::npos) << row;
    }
}

const char* const kAllSections =
    "Tray Icon, Connection, Current snapshots, Notifications, This Computer, Updates to iPhone, "
    "Widget";

INSTANTIATE_TEST_SUITE_P(
    Rows, SettingsFormTest,
    testing::Values(
        FormRow{"NothingStoredNothingPaired",
                [](SettingsState& state) { state.notificationError = QString(); },
                "Tray Icon, Connection, Notifications, This Computer, Updates to iPhone, Widget",
                {"Tray Icon / Appearance: automatic of automatic light",
                 "Connection / Codex: Not connected", "Connection / iPhone: Not paired",
                 "Updates to iPhone / Status: Waiting for iPhone",
                 "Updates to iPhone / Last data sent: Not sent yet"},
                {"Tray Icon / Agent", "This Computer / Sign Out of Quotamind", " / : shown"}},
        FormRow{"TwoUsagesTheIconsAgentStored",
                [](SettingsState& state) {
                    state.snapshot = AgentUsageSnapshot(
                        {usage("claude", "pro", UsageSource::LocalDesktop),
                         usage("codex", "unknown", UsageSource::AccountSession)});
                    state.iconProvider = u"claude"_s;
                    // Read since its last change; an older read does not count.
                    state.readTimes.times = {{"codex", kPastMidnight}, {"claude", kAfternoon - 60}};
                },
                kAllSections,
                {"Tray Icon / Agent: claude of claude codex",
                 "Current snapshots / Codex: — / Jan 6, 12:05 AM",
                 "Current snapshots / Claude: Pro / Jan 5, 3:07 PM"},
                {}},
        FormRow{"PairedSignedInSentWithErrors",
                [](SettingsState& state) {
                    state.snapshot =
                        AgentUsageSnapshot({usage("claude", "max 20X", UsageSource::LocalDesktop)});
                    state.phonePaired = state.hasStoredCredentials = true;
                    state.lastPhoneDataSentAt = kAfternoon;
                    state.notificationError = u"No permission"_s;
                },
                kAllSections,
                {"Connection / Claude: Local agent on this computer",
                 "Current snapshots / Claude: Max 20x / Jan 5, 3:07 PM",
                 "Connection / iPhone: Connected", "This Computer / Sign Out of Quotamind: enabled",
                 "Updates to iPhone / Status: Enabled automatically",
                 "Updates to iPhone / Last data sent: Jan 5, 3:07:09 PM",
                 "Notifications / No permission: shown"},
                {}}),
    rowName);

}  // namespace
