#pragma once

#include <QPointF>
#include <QString>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "history/usage_history_database.h"

// What one chart of the History window draws: the used percent of one agent's window over time,
// and where the window reset. Built from the history's rows, oldest first; pure, so a table
// tests it.
struct HistoryChartData {
    // x: Unix milliseconds (as Qt's date-time axis takes them); y: used percent.
    std::vector<QPointF> used;
    // Unix milliseconds of each reset seen: a row of a later window instance (another reset
    // time) or a fall in use.
    std::vector<double> resets;

    // One chart per agent and window length, in the order the agents first appear.
    static std::vector<std::pair<std::pair<std::string, std::int64_t>, HistoryChartData>> fromRows(
        const std::vector<HistoryRow>& rows);
};
