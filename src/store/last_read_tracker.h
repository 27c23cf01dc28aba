#pragma once

#include <optional>

#include "core/preferences.h"
#include "model/agent_read_times.h"

// Each agent's last successful read, as the store keeps it and writes it beside the snapshot in
// the shared container: with every changed snapshot, and otherwise at most once every
// kSaveSpacingSeconds, so the widgets learn that unchanged data is still current without a file
// being written on every cycle.
class LastReadTracker final {
public:
    static constexpr double kSaveSpacingSeconds = 300;

    // Starts from the times `preferences` (the shared container's domain) holds.
    explicit LastReadTracker(Preferences preferences);

    const AgentReadTimes& times() const { return m_times; }

    // Records a successful read of `provider` at `now`, and writes the times when
    // `snapshotChanged` or when the last write is kSaveSpacingSeconds away (either way, so a
    // clock set back does not hold writes off). Returns whether it wrote.
    bool record(const AgentProvider& provider, Timestamp now, bool snapshotChanged);

private:
    Preferences m_preferences;
    AgentReadTimes m_times;
    // When this process last wrote the times.
    std::optional<Timestamp> m_savedAt;
};
