#include "limit_providers.h"

#include "model/shared_snapshot_store.h"
#include "widget/limit_timeline_builder.h"
#include "widget/widget_configuration.h"

namespace {

const std::vector<std::int64_t> kBothDurations{UsageWindow::kFiveHourSeconds,
                                               UsageWindow::kWeeklySeconds};

std::optional<AgentUsage> firstUsage(const std::optional<AgentUsageSnapshot>& snapshot) {
    return chooseUsage(snapshot, std::nullopt);
}

}  // namespace

SnapshotLoader sharedSnapshotLoader() {
    return [] { return SharedSnapshotStore::loadSnapshot(); };
}

ReadTimesLoader sharedReadTimesLoader() {
    return [] { return SharedSnapshotStore::loadReadTimes(); };
}

ForecastsLoader sharedForecastsLoader() {
    return [] { return SharedSnapshotStore::loadForecasts(); };
}

LimitEntry LimitProvider::withForecasts(LimitEntry entry) const {
    if (!entry.usage || !m_forecasts) {
        return entry;
    }
    for (const auto& [key, forecast] : m_forecasts().forecasts) {
        if (key.first == entry.usage->provider.rawValue) {
            entry.forecasts.forecasts.emplace(key, forecast);
        }
    }
    return entry;
}

LimitTimeline LimitProvider::withForecasts(LimitTimeline timeline) const {
    for (LimitEntry& entry : timeline.entries) {
        entry = withForecasts(std::move(entry));
    }
    return timeline;
}

std::optional<AgentUsage> chooseUsage(const std::optional<AgentUsageSnapshot>& snapshot,
                                      const std::optional<QString>& agentId) {
    if (!snapshot || snapshot->usages.empty()) {
        return std::nullopt;
    }
    if (!agentId) {
        return snapshot->usages.front();
    }
    return (*snapshot)[AgentProvider{agentId->toStdString()}];
}

LimitEntry LegacyLimitProvider::placeholder(Timestamp now) const {
    return {.date = now, .usage = AgentUsage::placeholder(), .durationSeconds = std::nullopt};
}

LimitEntry LegacyLimitProvider::snapshot(const WidgetConfiguration&, bool isPreview,
                                         Timestamp now) const {
    if (isPreview) {
        return {
            .date = now, .usage = AgentUsage::placeholder(now), .durationSeconds = std::nullopt};
    }
    const auto usage = firstUsage(load());
    return withForecasts({.date = now,
                          .usage = usage,
                          .durationSeconds = std::nullopt,
                          .lastReadAt = lastReadAt(usage)});
}

LimitTimeline LegacyLimitProvider::timeline(const WidgetConfiguration&, Timestamp now) const {
    const auto usage = firstUsage(load());
    std::vector<std::int64_t> resetDurations;
    if (usage) {
        for (const UsageWindow& window : usage->windows) {
            resetDurations.push_back(window.durationSeconds);
        }
    }
    return withForecasts(LimitTimelineBuilder::timeline(usage, std::nullopt, resetDurations, now,
                                                        lastReadAt(usage)));
}

LimitEntry ConfigurableLimitProvider::placeholder(Timestamp now) const {
    return {.date = now,
            .usage = AgentUsage::placeholder(),
            .durationSeconds = UsageWindow::kWeeklySeconds};
}

LimitEntry ConfigurableLimitProvider::snapshot(const WidgetConfiguration& configuration,
                                               bool isPreview, Timestamp now) const {
    const auto usage = chooseUsage(loadOrPreview(isPreview, now), configuration.agentId);
    const LimitEntry entry{.date = now,
                           .usage = usage,
                           .durationSeconds = durationSeconds(configuredPeriod(configuration)),
                           .lastReadAt = isPreview ? std::nullopt : lastReadAt(usage)};
    return isPreview ? entry : withForecasts(entry);
}

LimitTimeline ConfigurableLimitProvider::timeline(const WidgetConfiguration& configuration,
                                                  Timestamp now) const {
    const std::int64_t duration = durationSeconds(configuredPeriod(configuration));
    const auto usage = chooseUsage(load(), configuration.agentId);
    return withForecasts(
        LimitTimelineBuilder::timeline(usage, duration, {duration}, now, lastReadAt(usage)));
}

LimitEntry BothLimitsProvider::placeholder(Timestamp now) const {
    return {
        .date = now, .usage = AgentUsage::secondaryPlaceholder(), .durationSeconds = std::nullopt};
}

LimitEntry BothLimitsProvider::snapshot(const WidgetConfiguration& configuration, bool isPreview,
                                        Timestamp now) const {
    const auto usage = chooseUsage(loadOrPreview(isPreview, now), configuration.agentId);
    return {.date = now,
            .usage = usage,
            .durationSeconds = std::nullopt,
            .lastReadAt = isPreview ? std::nullopt : lastReadAt(usage)};
}

LimitTimeline BothLimitsProvider::timeline(const WidgetConfiguration& configuration,
                                           Timestamp now) const {
    const auto usage = chooseUsage(load(), configuration.agentId);
    return LimitTimelineBuilder::timeline(usage, std::nullopt, kBothDurations, now,
                                          lastReadAt(usage));
}

QList<WidgetAgent> WidgetAgentQuery::entities() const {
    QList<WidgetAgent> agents;
    if (const auto snapshot = m_loader()) {
        for (const AgentUsage& usage : snapshot->usages) {
            agents.append({.id = QString::fromStdString(usage.provider.rawValue),
                           .name = QString::fromStdString(usage.agentName)});
        }
    }
    return agents;
}

QList<WidgetAgent> WidgetAgentQuery::entities(const QStringList& ids) const {
    QList<WidgetAgent> agents = entities();
    agents.removeIf([&](const WidgetAgent& agent) { return !ids.contains(agent.id); });
    return agents;
}

std::optional<WidgetAgent> WidgetAgentQuery::defaultResult() const {
    const QList<WidgetAgent> agents = entities();
    if (agents.isEmpty()) {
        return std::nullopt;
    }
    return agents.front();
}
