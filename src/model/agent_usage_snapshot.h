#pragma once

#include <optional>
#include <vector>

#include "model/agent_usage.h"

// Everything currently known about the agents' usage; the order of `usages` is the display order.
struct AgentUsageSnapshot {
    std::vector<AgentUsage> usages;

    // An empty snapshot. To take a decoded list exactly as it stands, assign `usages` directly.
    AgentUsageSnapshot() = default;
    // Keeps one usage per provider: a later usage overwrites an earlier one of the same provider
    // in the earlier one's position.
    explicit AgentUsageSnapshot(std::vector<AgentUsage> usages);

    // The first usage of `provider`.
    std::optional<AgentUsage> operator[](const AgentProvider& provider) const;
    // `usage` in place of any usage of its provider, moved to the end of the display order.
    AgentUsageSnapshot replacing(const AgentUsage& usage) const;
    // The same usages, each marked as received over the phone link.
    AgentUsageSnapshot syncedFromDesktop() const;

    // The two placeholder usages, made once on first use.
    static const AgentUsageSnapshot& preview();
    // The two placeholder usages relative to `now`.
    static AgentUsageSnapshot preview(Timestamp now);

    // The earliest reset of any window that is still ahead at `now`; nothing when none is.
    std::optional<Timestamp> nextReset(Timestamp now) const;

    bool operator==(const AgentUsageSnapshot&) const = default;
};
