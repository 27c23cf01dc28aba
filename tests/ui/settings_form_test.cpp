#include "ui/settings_form.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <array>
#include <ctime>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// 2026-01-05 15:07:09 UTC and 2026-01-06 00:05:00 UTC.
constexpr Timestamp kAfternoon(789318429);
constexpr Timestamp kPastMidnight(789350700);

AgentUsage usage(std::string provider, std::string plan, UsageSource source) {
    return {.windows = {},
            .provider = {provider},
            .agentName = provider == "codex" ? "Codex" : "Claude",
            .planType = std::move(plan),
            .updatedAt = kAfternoon,
            .source = source};
}

// What a row shows, in one text: a value row its value (and caption), a control its state;
// "absent" when the section has no such row.
QString shown(const std::vector<SettingsSection>& sections, const QString& heading,
              const QString& title) {
    for (const SettingsSection& section : sections) {
        for (const SettingsRow& row : section.rows) {
            if (section.heading != heading || row.title != title) {
                continue;
            }
            switch (row.control) {
                case SettingsControl::value:
                    return row.caption.isEmpty() ? row.value : row.value + u" / "_s + row.caption;
                case SettingsControl::toggle:
                    return row.on ? u"on"_s : u"off"_s;
                case SettingsControl::button:
                    return row.enabled ? u"enabled"_s : u"disabled"_s;
                case SettingsControl::picker: {
                    QStringList values;
                    for (const SettingsChoice& choice : row.choices) {
                        values << choice.value;
                    }
                    return row.selected + u" of "_s + values.join(u',');
                }
                default:
                    return u"shown"_s;
            }
        }
    }
    return u"absent"_s;
}

struct Case {
    const char* name;
    std::function<void(SettingsState&)> given;
    QStringList headings;
    // Heading, row title, what the row shows.
    std::vector<std::array<QString, 3>> rows;
};

TEST(SettingsFormTest, SectionsAndRowsFollowTheirConditions) {
    // Dates are written in English whatever the locale, in local time (UTC here).
    qputenv("TZ", "UTC");
    tzset();
    QLocale::setDefault(QLocale(QLocale::German));
    const QStringList always{u"Notifications"_s, u"This Computer"_s, u"Push to iPhone"_s,
                             u"Widget"_s};
    const std::vector<Case> cases{
        {"no snapshot, nothing paired, empty error texts",
         [](SettingsState& state) {
             state.notificationError = QString();
             state.lastPushError = QString();
         },
         QStringList{u"Connection"_s} + always,
         {{u"Connection"_s, u"Codex"_s, u"Not connected"_s},
          {u"Connection"_s, u"Claude"_s, u"Not connected"_s},
          {u"Connection"_s, u"iPhone"_s, u"Not paired"_s},
          {u"This Computer"_s, u"Sign Out of Quotamind"_s, u"absent"_s},
          {u"Push to iPhone"_s, u"Status"_s, u"Waiting for iPhone"_s},
          {u"Push to iPhone"_s, u"Last data sent"_s, u"Not sent yet"_s},
          {u"Push to iPhone"_s, u"Last wake signal"_s, u"absent"_s},
          {u"Push to iPhone"_s, u"Send Test Push"_s, u"disabled"_s},
          {u"Notifications"_s, QString(), u"absent"_s}}},
        {"one usage",
         [](SettingsState& state) {
             state.snapshot =
                 AgentUsageSnapshot({usage("claude", "max 20X", UsageSource::localDesktop)});
         },
         QStringList{u"Connection"_s, u"Current snapshots"_s} + always,
         {{u"Connection"_s, u"Claude"_s, u"Local agent on this computer"_s},
          {u"Connection"_s, u"Codex"_s, u"Not connected"_s},
          {u"Current snapshots"_s, u"Claude"_s, u"Max 20x / Jan 5, 3:07 PM"_s}}},
        {"two usages, the icon's agent stored",
         [](SettingsState& state) {
             state.snapshot =
                 AgentUsageSnapshot({usage("claude", "pro", UsageSource::localDesktop),
                                     usage("codex", "unknown", UsageSource::accountSession)});
             state.iconProvider = u"claude"_s;
         },
         QStringList{u"Menu Bar Icon"_s, u"Connection"_s, u"Current snapshots"_s} + always,
         {{u"Menu Bar Icon"_s, u"Agent"_s, u"claude of claude,codex"_s},
          {u"Connection"_s, u"Codex"_s, u"Account session on this computer"_s},
          {u"Current snapshots"_s, u"Codex"_s, u"— / Jan 5, 3:07 PM"_s}}},
        {"paired, signed in, sent, with errors",
         [](SettingsState& state) {
             state.phonePaired = true;
             state.hasStoredCredentials = true;
             state.lastPhoneDataSentAt = kAfternoon;
             state.lastPushSentAt = kPastMidnight;
             state.notificationError = u"No permission"_s;
             state.lastPushError = u"iCloud is unavailable"_s;
         },
         QStringList{u"Connection"_s} + always,
         {{u"Connection"_s, u"iPhone"_s, u"Connected"_s},
          {u"This Computer"_s, u"Sign Out of Quotamind"_s, u"enabled"_s},
          {u"Push to iPhone"_s, u"Status"_s, u"Enabled automatically"_s},
          {u"Push to iPhone"_s, u"Last data sent"_s, u"Jan 5, 3:07:09 PM"_s},
          {u"Push to iPhone"_s, u"Last wake signal"_s, u"Jan 6, 12:05 AM"_s},
          {u"Push to iPhone"_s, u"Send Test Push"_s, u"enabled"_s},
          {u"Notifications"_s, u"No permission"_s, u"shown"_s},
          {u"Push to iPhone"_s, u"iCloud is unavailable"_s, u"shown"_s}}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        SettingsState state;
        testCase.given(state);
        const std::vector<SettingsSection> sections = appSettingsSections(state);
        QStringList headings;
        for (const SettingsSection& section : sections) {
            headings << section.heading;
        }
        EXPECT_EQ(headings, testCase.headings);
        for (const auto& [heading, title, expected] : testCase.rows) {
            EXPECT_EQ(shown(sections, heading, title), expected)
                << heading.toStdString() << " / " << title.toStdString();
        }
    }
    QLocale::setDefault(QLocale::c());
}

}  // namespace
