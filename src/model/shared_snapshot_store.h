#pragma once

#include <QString>
#include <optional>

#include "core/preferences.h"
#include "model/agent_read_times.h"
#include "model/agent_usage_snapshot.h"
#include "model/pace_forecast.h"

// The current snapshot as both programs see it: JSON bytes stored as a data value under
// "currentAgentUsageSnapshot.v2" in the app group's shared preferences (or, when those cannot
// be opened, in the program's own). The tray program writes it; the widgets read it.
namespace SharedSnapshotStore {

inline const QString kAppGroup = QStringLiteral("group.com.brindlecove.Quotamind");
inline const QString kSnapshotKey = QStringLiteral("currentAgentUsageSnapshot.v2");
// Beside the snapshot: each agent's last successful read (AgentReadTimes).
inline const QString kReadTimesKey = QStringLiteral("agentLastReadAt.v1");
// Beside the snapshot: each window's pace forecast (PaceForecasts), for the widgets.
inline const QString kForecastsKey = QStringLiteral("paceForecasts.v1");

// The app group's domain with its fallback.
Preferences preferences();

// Nothing when no snapshot is stored or what is stored does not decode; errors are not reported.
std::optional<AgentUsageSnapshot> loadSnapshot(
    const Preferences& preferences = SharedSnapshotStore::preferences());
// Replaces the stored snapshot whole; a snapshot that cannot be encoded stores nothing. Does not
// ask the widgets to reload.
void save(const AgentUsageSnapshot& snapshot,
          Preferences preferences = SharedSnapshotStore::preferences());

// Nothing when none are stored or what is stored does not decode, so readers then count from the
// snapshot's own update times.
AgentReadTimes loadReadTimes(const Preferences& preferences = SharedSnapshotStore::preferences());
void saveReadTimes(const AgentReadTimes& times,
                   Preferences preferences = SharedSnapshotStore::preferences());

// None when none are stored or what is stored does not decode.
PaceForecasts loadForecasts(const Preferences& preferences = SharedSnapshotStore::preferences());
void saveForecasts(const PaceForecasts& forecasts,
                   Preferences preferences = SharedSnapshotStore::preferences());

}  // namespace SharedSnapshotStore
