#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "history/usage_history_database.h"
#include "model/pace_forecast.h"

// What `quotamind history` prints. Pure functions, so a table tests every form. Times for other
// programs are RFC 3339 in UTC; times for people are local.
namespace HistoryExport {

// "90m", "24h", "7d": how far back, in seconds; nothing for anything else.
std::optional<double> parseSince(const QString& text);

// time,agent,window_seconds,used_percent,reset_at,source,changed, one line per row.
QByteArray csv(const std::vector<HistoryRow>& rows);
// An array of objects with the same fields.
QByteArray json(const std::vector<HistoryRow>& rows);
// "2026-12-07 16:30  codex  5H  42% used  resets 2026-12-07 18:00", one line per row.
QString lines(const std::vector<HistoryRow>& rows);

// {"codex":{"18000":{"resetAt":…,"limitAt":…,"text":"At this pace: …"}}}, limitAt null when the
// window lasts until its reset.
QByteArray forecastsJson(const PaceForecasts& forecasts, Timestamp now);

}  // namespace HistoryExport
