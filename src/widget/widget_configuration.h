#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

#include "widget/widget_extension.h"
#include "widgetreload/widget_reload.h"

// The widget kinds and what a user can choose for them. The kind strings are the persistent
// identifiers of placed widgets and the names the tray program reloads: never change them.
namespace WidgetKinds {

inline const QString& kLegacy = WidgetReload::kLegacyKind;
inline const QString& kConfigurable = WidgetReload::kConfigurableKind;
inline const QString& kBothLimits = WidgetReload::kBothLimitsKind;

// The three kinds in gallery order.
QList<WidgetKindInfo> all();

}  // namespace WidgetKinds

// The limit a configurable widget shows. The raw values are stored by hosts.
enum class WidgetLimitPeriod { FiveHour, Weekly };

QString rawValue(WidgetLimitPeriod period);
std::optional<WidgetLimitPeriod> widgetLimitPeriodFromRawValue(const QString& raw);
// "5-hour limit", "Weekly limit".
QString displayName(WidgetLimitPeriod period);
std::int64_t durationSeconds(WidgetLimitPeriod period);
// The configured period; weekly when unset or unknown.
WidgetLimitPeriod configuredPeriod(const WidgetConfiguration& configuration);

// The configurable widget's choices: an optional agent and a limit period.
struct LimitWidgetConfigurationIntent {
    static QString title();  // "Quotamind"
    std::optional<WidgetAgent> agent;
    WidgetLimitPeriod period = WidgetLimitPeriod::Weekly;

    // "Show Weekly limit for Codex"; an unset agent reads as its parameter title.
    QString summary() const;
};

// The both-limits widget's choice: an optional agent.
struct BothLimitsWidgetConfigurationIntent {
    static QString title();  // "Both Quotamind"
    std::optional<WidgetAgent> agent;

    // "Show both limits for Codex".
    QString summary() const;
};

// The parameter titles shared by both intents.
QString agentParameterTitle();   // "Agent"
QString periodParameterTitle();  // "Limit"
