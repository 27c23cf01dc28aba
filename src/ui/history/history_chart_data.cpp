#include "history_chart_data.h"

#include <algorithm>
#include <cmath>

#include "model/pace_forecast.h"

std::vector<std::pair<std::pair<std::string, std::int64_t>, HistoryChartData>>
HistoryChartData::fromRows(const std::vector<HistoryRow>& rows) {
    std::vector<std::pair<std::pair<std::string, std::int64_t>, HistoryChartData>> charts;
    // The last row of each chart, to see a reset between two rows.
    std::map<std::pair<std::string, std::int64_t>, const HistoryRow*> previous;
    for (const HistoryRow& row : rows) {
        const auto key = std::pair(row.provider, row.windowSeconds);
        auto chart = std::find_if(charts.begin(), charts.end(),
                                  [&key](const auto& entry) { return entry.first == key; });
        if (chart == charts.end()) {
            charts.emplace_back(key, HistoryChartData{});
            chart = std::prev(charts.end());
        }
        const double x = row.time.unixSeconds() * 1000.0;
        if (const HistoryRow* last = previous[key];
            last != nullptr &&
            (!(std::abs(row.resetDate - last->resetDate) <= PaceForecast::kSameResetSeconds) ||
             row.usedPercent < last->usedPercent)) {
            chart->second.resets.push_back(x);
        }
        chart->second.used.emplace_back(x, static_cast<double>(row.usedPercent));
        previous[key] = &row;
    }
    return charts;
}
