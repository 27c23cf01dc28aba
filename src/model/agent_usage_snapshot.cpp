#include "agent_usage_snapshot.h"

#include <algorithm>

AgentUsageSnapshot::AgentUsageSnapshot(std::vector<AgentUsage> input) {
    for (AgentUsage& usage : input) {
        const auto existing =
            std::find_if(usages.begin(), usages.end(),
                         [&](const AgentUsage& held) { return held.provider == usage.provider; });
        if (existing != usages.end()) {
            *existing = std::move(usage);
        } else {
            usages.push_back(std::move(usage));
        }
    }
}

std::optional<AgentUsage> AgentUsageSnapshot::operator[](const AgentProvider& provider) const {
    const auto found = std::find_if(usages.begin(), usages.end(), [&](const AgentUsage& usage) {
        return usage.provider == provider;
    });
    if (found == usages.end()) {
        return std::nullopt;
    }
    return *found;
}

AgentUsageSnapshot AgentUsageSnapshot::replacing(const AgentUsage& usage) const {
    std::vector<AgentUsage> kept;
    kept.reserve(usages.size() + 1);
    std::copy_if(usages.begin(), usages.end(), std::back_inserter(kept),
                 [&](const AgentUsage& held) { return held.provider != usage.provider; });
    kept.push_back(usage);
    return AgentUsageSnapshot(std::move(kept));
}

AgentUsageSnapshot AgentUsageSnapshot::syncedFromDesktop() const {
    std::vector<AgentUsage> synced = usages;
    for (AgentUsage& usage : synced) {
        usage.source = UsageSource::SyncedFromDesktop;
    }
    return AgentUsageSnapshot(std::move(synced));
}

const AgentUsageSnapshot& AgentUsageSnapshot::preview() {
    static const AgentUsageSnapshot snapshot(
        std::vector<AgentUsage>{AgentUsage::placeholder(), AgentUsage::secondaryPlaceholder()});
    return snapshot;
}

AgentUsageSnapshot AgentUsageSnapshot::preview(Timestamp now) {
    return AgentUsageSnapshot(std::vector<AgentUsage>{AgentUsage::placeholder(now),
                                                      AgentUsage::secondaryPlaceholder(now)});
}

std::optional<Timestamp> AgentUsageSnapshot::nextReset(Timestamp now) const {
    std::optional<Timestamp> next;
    for (const AgentUsage& usage : usages) {
        for (const UsageWindow& window : usage.windows) {
            if (!window.isPastReset(now) && (!next || window.resetDate < *next)) {
                next = window.resetDate;
            }
        }
    }
    return next;
}
