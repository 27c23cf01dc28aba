#include "last_read_tracker.h"

#include <cmath>

#include "model/shared_snapshot_store.h"

LastReadTracker::LastReadTracker(Preferences preferences)
    : m_preferences(std::move(preferences)),
      m_times(SharedSnapshotStore::loadReadTimes(m_preferences)) {}

bool LastReadTracker::record(const AgentProvider& provider, Timestamp now, bool snapshotChanged) {
    m_times.times[provider.rawValue] = now;
    const bool due = !m_savedAt || !(std::abs(now - *m_savedAt) < kSaveSpacingSeconds);
    if (!snapshotChanged && !due) {
        return false;
    }
    SharedSnapshotStore::saveReadTimes(m_times, m_preferences);
    m_savedAt = now;
    return true;
}
