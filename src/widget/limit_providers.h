#pragma once

#include <QList>
#include <functional>
#include <optional>

#include "model/agent_read_times.h"
#include "model/agent_usage_snapshot.h"
#include "widget/widget_extension.h"

// Reads the stored snapshot afresh on every call; nothing when none is stored or it does not
// decode. The default reads the shared container.
using SnapshotLoader = std::function<std::optional<AgentUsageSnapshot>()>;
SnapshotLoader sharedSnapshotLoader();
// Reads each agent's last successful read afresh, from the shared container by default.
using ReadTimesLoader = std::function<AgentReadTimes()>;
ReadTimesLoader sharedReadTimesLoader();
// Reads the pace forecasts afresh, from the shared container by default.
using ForecastsLoader = std::function<PaceForecasts()>;
ForecastsLoader sharedForecastsLoader();

// The usage a configured widget shows: the first usage of the chosen agent (never another
// agent's), or the first usage of all when no agent is chosen.
std::optional<AgentUsage> chooseUsage(const std::optional<AgentUsageSnapshot>& snapshot,
                                      const std::optional<QString>& agentId);

// Builds a kind's entries. Timelines always come from the stored snapshot, never from sample
// data; snapshots in the gallery's preview use sample data made relative to the time they are
// drawn for; placeholders read nothing. Without `readTimes` staleness counts from the usages' own
// update times.
class LimitProvider {
public:
    explicit LimitProvider(SnapshotLoader loader, ReadTimesLoader readTimes = {},
                           ForecastsLoader forecasts = {})
        : m_loader(std::move(loader)),
          m_readTimes(std::move(readTimes)),
          m_forecasts(std::move(forecasts)) {}
    virtual ~LimitProvider() = default;
    Q_DISABLE_COPY_MOVE(LimitProvider)

    virtual LimitEntry placeholder(Timestamp now) const = 0;
    virtual LimitEntry snapshot(const WidgetConfiguration& configuration, bool isPreview,
                                Timestamp now) const = 0;
    virtual LimitTimeline timeline(const WidgetConfiguration& configuration,
                                   Timestamp now) const = 0;

protected:
    std::optional<AgentUsageSnapshot> load() const { return m_loader(); }
    // The gallery's previews show sample data; everything else shows what is stored.
    std::optional<AgentUsageSnapshot> loadOrPreview(bool isPreview, Timestamp now) const {
        return isPreview ? std::optional(AgentUsageSnapshot::preview(now)) : load();
    }
    // The stored last read of the agent of `usage`.
    std::optional<Timestamp> lastReadAt(const std::optional<AgentUsage>& usage) const {
        return usage && m_readTimes ? m_readTimes()[usage->provider] : std::nullopt;
    }

    // The entries with their agent's stored forecasts (none in previews).
    LimitEntry withForecasts(LimitEntry entry) const;
    LimitTimeline withForecasts(LimitTimeline timeline) const;

private:
    SnapshotLoader m_loader;
    ReadTimesLoader m_readTimes;
    ForecastsLoader m_forecasts;
};

// The fixed widget: the first agent's preferred window.
class LegacyLimitProvider final : public LimitProvider {
public:
    using LimitProvider::LimitProvider;
    LimitEntry placeholder(Timestamp now) const override;
    LimitEntry snapshot(const WidgetConfiguration& configuration, bool isPreview,
                        Timestamp now) const override;
    LimitTimeline timeline(const WidgetConfiguration& configuration, Timestamp now) const override;
};

// The configurable widget: the chosen agent's window of the chosen period.
class ConfigurableLimitProvider final : public LimitProvider {
public:
    using LimitProvider::LimitProvider;
    LimitEntry placeholder(Timestamp now) const override;
    LimitEntry snapshot(const WidgetConfiguration& configuration, bool isPreview,
                        Timestamp now) const override;
    LimitTimeline timeline(const WidgetConfiguration& configuration, Timestamp now) const override;
};

// The both-limits widget: the chosen agent's 5-hour and weekly windows.
class BothLimitsProvider final : public LimitProvider {
public:
    using LimitProvider::LimitProvider;
    LimitEntry placeholder(Timestamp now) const override;
    LimitEntry snapshot(const WidgetConfiguration& configuration, bool isPreview,
                        Timestamp now) const override;
    LimitTimeline timeline(const WidgetConfiguration& configuration, Timestamp now) const override;
};

// The agents a user can choose: one per usage of the stored snapshot, in its order.
class WidgetAgentQuery final {
public:
    explicit WidgetAgentQuery(SnapshotLoader loader) : m_loader(std::move(loader)) {}

    QList<WidgetAgent> entities() const;
    // The current entities whose id is in `ids`, in current order.
    QList<WidgetAgent> entities(const QStringList& ids) const;
    QList<WidgetAgent> suggestedEntities() const { return entities(); }
    std::optional<WidgetAgent> defaultResult() const;

private:
    SnapshotLoader m_loader;
};
