#include "quotamind_widget_plugin.h"

#include "widget/limit_timeline_builder.h"
#include "widget/widget_configuration.h"
#include "widget/widget_layouts.h"

namespace {

// What an unknown kind gets: nothing to show.
LimitEntry noUsage(Timestamp now) {
    return {.date = now, .usage = std::nullopt, .durationSeconds = std::nullopt};
}

}  // namespace

QuotamindWidgetPlugin::QuotamindWidgetPlugin()
    : m_agents(sharedSnapshotLoader()),
      m_legacy(sharedSnapshotLoader(), sharedReadTimesLoader(), sharedForecastsLoader()),
      m_configurable(sharedSnapshotLoader(), sharedReadTimesLoader(), sharedForecastsLoader()),
      m_bothLimits(sharedSnapshotLoader(), sharedReadTimesLoader()) {}

const LimitProvider* QuotamindWidgetPlugin::provider(const QString& kind) const {
    if (kind == WidgetKinds::kLegacy) {
        return &m_legacy;
    }
    if (kind == WidgetKinds::kConfigurable) {
        return &m_configurable;
    }
    if (kind == WidgetKinds::kBothLimits) {
        return &m_bothLimits;
    }
    return nullptr;
}

QList<WidgetKindInfo> QuotamindWidgetPlugin::kinds() const {
    return WidgetKinds::all();
}

std::optional<WidgetConfigurationInfo> QuotamindWidgetPlugin::configuration(
    const QString& kind) const {
    if (kind == WidgetKinds::kConfigurable) {
        return WidgetConfigurationInfo{.title = LimitWidgetConfigurationIntent::title(),
                                       .agentParameterTitle = agentParameterTitle(),
                                       .periodParameterTitle = periodParameterTitle(),
                                       .periods = {{rawValue(WidgetLimitPeriod::FiveHour),
                                                    displayName(WidgetLimitPeriod::FiveHour)},
                                                   {rawValue(WidgetLimitPeriod::Weekly),
                                                    displayName(WidgetLimitPeriod::Weekly)}},
                                       .defaultPeriod = rawValue(WidgetLimitPeriod::Weekly)};
    }
    if (kind == WidgetKinds::kBothLimits) {
        return WidgetConfigurationInfo{.title = BothLimitsWidgetConfigurationIntent::title(),
                                       .agentParameterTitle = agentParameterTitle(),
                                       .periodParameterTitle = {},
                                       .periods = {},
                                       .defaultPeriod = {}};
    }
    return std::nullopt;
}

QString QuotamindWidgetPlugin::configurationSummary(
    const QString& kind, const WidgetConfiguration& configuration) const {
    // The chosen agent is shown by its current name; one no longer stored by its id.
    std::optional<WidgetAgent> agent;
    if (configuration.agentId) {
        const QList<WidgetAgent> found = m_agents.entities({*configuration.agentId});
        agent = found.isEmpty() ? WidgetAgent{*configuration.agentId, *configuration.agentId}
                                : found.front();
    }
    if (kind == WidgetKinds::kConfigurable) {
        return LimitWidgetConfigurationIntent{.agent = agent,
                                              .period = configuredPeriod(configuration)}
            .summary();
    }
    if (kind == WidgetKinds::kBothLimits) {
        return BothLimitsWidgetConfigurationIntent{.agent = agent}.summary();
    }
    return {};
}

QList<WidgetAgent> QuotamindWidgetPlugin::agents() const {
    return m_agents.entities();
}

QSizeF QuotamindWidgetPlugin::familySize(WidgetFamily family) const {
    return widgetFamilySize(family);
}

LimitEntry QuotamindWidgetPlugin::placeholder(const QString& kind, Timestamp now) const {
    const LimitProvider* chosen = provider(kind);
    return chosen ? chosen->placeholder(now) : noUsage(now);
}

LimitEntry QuotamindWidgetPlugin::snapshot(const QString& kind,
                                           const WidgetConfiguration& configuration, bool isPreview,
                                           Timestamp now) const {
    const LimitProvider* chosen = provider(kind);
    return chosen ? chosen->snapshot(configuration, isPreview, now) : noUsage(now);
}

LimitTimeline QuotamindWidgetPlugin::timeline(const QString& kind,
                                              const WidgetConfiguration& configuration,
                                              Timestamp now) const {
    if (const LimitProvider* chosen = provider(kind)) {
        return chosen->timeline(configuration, now);
    }
    return LimitTimelineBuilder::timeline(std::nullopt, std::nullopt, {}, now);
}

void QuotamindWidgetPlugin::paint(QPainter& painter, const QRectF& rect, const QString& kind,
                                  WidgetFamily family, const LimitEntry& entry,
                                  const WidgetRenderOptions& options, Timestamp drawingTime) const {
    drawWidget(&painter, rect, widgetView(kind), family, entry, options, drawingTime);
}

QStringList QuotamindWidgetPlugin::accessibleTexts(const QString& kind, WidgetFamily family,
                                                   const LimitEntry& entry,
                                                   Timestamp drawingTime) const {
    return drawWidget(nullptr, QRectF(QPointF(), widgetFamilySize(family)), widgetView(kind),
                      family, entry, {}, drawingTime);
}
