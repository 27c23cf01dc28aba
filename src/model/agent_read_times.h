#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/timestamp.h"
#include "model/agent_usage.h"

// When the tray program last read each agent successfully, by provider raw value. A read that
// returns the same windows leaves the snapshot (and its updatedAt) alone, so these times are
// what tells data that did not change from data that was not read. Stored beside the snapshot
// in the shared container (SharedSnapshotStore::loadReadTimes), as a JSON object of timestamps:
// {"codex":788918400.5,"claude":788918460}.
struct AgentReadTimes {
    std::map<std::string, Timestamp> times;

    std::optional<Timestamp> operator[](const AgentProvider& provider) const;

    // Throws json::EncodingError for a time that is not finite.
    std::string encode() const;
    // Throws json::DecodingError unless the bytes are one object of numbers.
    static AgentReadTimes decode(std::string_view bytes);

    bool operator==(const AgentReadTimes&) const = default;
};

// Since when `usage` is known to be current: its agent's last successful read, or its own update
// time when that is later or no read time is known. Staleness and "Updated" count from it.
Timestamp lastReadOf(const AgentUsage& usage, std::optional<Timestamp> lastRead);
