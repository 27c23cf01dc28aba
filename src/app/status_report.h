#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "core/timestamp.h"
#include "model/agent_usage_snapshot.h"
#include "model/pace_forecast.h"

// What `quotamind status` prints for a stored snapshot, relative to `now`. Pure functions, so a
// table tests every form.
namespace StatusReport {

// One line per agent and window: "Codex · Plus · 5H · 72% remaining · Resets in 2h 5m", with
// " · At this pace: …" where `forecasts` has one for the window, or
// "Codex · Plus · 5H · Reset · checking…" once the window's reset time has passed.
QString lines(const AgentUsageSnapshot& snapshot, Timestamp now,
              const PaceForecasts& forecasts = {});

// One JSON object for status bars (Waybar, i3status-rust): "text" with each agent's lowest
// remaining percent, "tooltip" with the lines, "class" (normal, warning at 25 % or less,
// critical at 10 % or less, empty when nothing is known) and "percentage", the lowest remaining
// percent of all. Windows past their reset count as not known. The tooltip has the forecasts.
QByteArray waybar(const AgentUsageSnapshot& snapshot, Timestamp now,
                  const PaceForecasts& forecasts = {});

}  // namespace StatusReport
