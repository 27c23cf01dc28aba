#include "widget_configuration.h"

#include <QCoreApplication>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("QuotamindWidget", text);
}

}  // namespace

QList<WidgetKindInfo> WidgetKinds::all() {
    using Configuration = WidgetKindInfo::Configuration;
    return {
        {.kind = kLegacy,
         .displayName = tr("Quotamind"),
         .description = tr("See the current agent allowance and reset time."),
         .families = {WidgetFamily::Small, WidgetFamily::Medium},
         .removableBackground = true,
         .configuration = Configuration::None},
        {.kind = kConfigurable,
         .displayName = tr("Quotamind \u2014 Custom"),
         .description = tr("See the selected agent allowance and reset time."),
         .families = {WidgetFamily::Small, WidgetFamily::Medium},
         .removableBackground = true,
         .configuration = Configuration::Limit},
        {.kind = kBothLimits,
         .displayName = tr("Quotamind \u2014 Both Limits"),
         .description = tr("See the 5-hour and weekly limits side by side."),
         .families = {WidgetFamily::Medium},
         .removableBackground = true,
         .configuration = Configuration::BothLimits},
    };
}

QString rawValue(WidgetLimitPeriod period) {
    return period == WidgetLimitPeriod::FiveHour ? QStringLiteral("fiveHour")
                                                 : QStringLiteral("weekly");
}

std::optional<WidgetLimitPeriod> widgetLimitPeriodFromRawValue(const QString& raw) {
    for (const auto period : {WidgetLimitPeriod::FiveHour, WidgetLimitPeriod::Weekly}) {
        if (rawValue(period) == raw) {
            return period;
        }
    }
    return std::nullopt;
}

QString displayName(WidgetLimitPeriod period) {
    return period == WidgetLimitPeriod::FiveHour ? tr("5-hour limit") : tr("Weekly limit");
}

std::int64_t durationSeconds(WidgetLimitPeriod period) {
    return period == WidgetLimitPeriod::FiveHour ? UsageWindow::kFiveHourSeconds
                                                 : UsageWindow::kWeeklySeconds;
}

WidgetLimitPeriod configuredPeriod(const WidgetConfiguration& configuration) {
    const auto period =
        configuration.period ? widgetLimitPeriodFromRawValue(*configuration.period) : std::nullopt;
    return period.value_or(WidgetLimitPeriod::Weekly);
}

QString agentParameterTitle() {
    return tr("Agent");
}

QString periodParameterTitle() {
    return tr("Limit");
}

QString LimitWidgetConfigurationIntent::title() {
    return tr("Quotamind");
}

QString LimitWidgetConfigurationIntent::summary() const {
    return tr("Show %1 for %2")
        .arg(displayName(period), agent ? agent->name : agentParameterTitle());
}

QString BothLimitsWidgetConfigurationIntent::title() {
    return tr("Both Quotamind");
}

QString BothLimitsWidgetConfigurationIntent::summary() const {
    return tr("Show both limits for %1").arg(agent ? agent->name : agentParameterTitle());
}
