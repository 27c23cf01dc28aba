#include "widget_configuration.h"

#include <QCoreApplication>

namespace {}  // namespace

QList<WidgetKindInfo> WidgetKinds::all() {
    using Configuration = WidgetKindInfo::Configuration;
    return {
        {.kind = kLegacy,
         .displayName = QCoreApplication::translate("QuotamindWidget", "Quotamind"),
         .description = QCoreApplication::translate(
             "QuotamindWidget", "See the current agent allowance and reset time."),
         .families = {WidgetFamily::Small, WidgetFamily::Medium},
         .removableBackground = true,
         .configuration = Configuration::None},
        {.kind = kConfigurable,
         .displayName = QCoreApplication::translate("QuotamindWidget", "Quotamind \u2014 Custom"),
         .description = QCoreApplication::translate(
             "QuotamindWidget", "See the selected agent allowance and reset time."),
         .families = {WidgetFamily::Small, WidgetFamily::Medium},
         .removableBackground = true,
         .configuration = Configuration::Limit},
        {.kind = kBothLimits,
         .displayName =
             QCoreApplication::translate("QuotamindWidget", "Quotamind \u2014 Both Limits"),
         .description = QCoreApplication::translate(
             "QuotamindWidget", "See the 5-hour and weekly limits side by side."),
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
    return period == WidgetLimitPeriod::FiveHour
               ? QCoreApplication::translate("QuotamindWidget", "5-hour limit")
               : QCoreApplication::translate("QuotamindWidget", "Weekly limit");
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
    return QCoreApplication::translate("QuotamindWidget", "Agent");
}

QString periodParameterTitle() {
    return QCoreApplication::translate("QuotamindWidget", "Limit");
}

QString LimitWidgetConfigurationIntent::title() {
    return QCoreApplication::translate("QuotamindWidget", "Quotamind");
}

QString LimitWidgetConfigurationIntent::summary() const {
    return QCoreApplication::translate("QuotamindWidget", "Show %1 for %2")
        .arg(displayName(period), agent ? agent->name : agentParameterTitle());
}

QString BothLimitsWidgetConfigurationIntent::title() {
    return QCoreApplication::translate("QuotamindWidget", "Both Quotamind");
}

QString BothLimitsWidgetConfigurationIntent::summary() const {
    return QCoreApplication::translate("QuotamindWidget", "Show both limits for %1")
        .arg(agent ? agent->name : agentParameterTitle());
}
