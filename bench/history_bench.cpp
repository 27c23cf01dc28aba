// The usage history's queries at the size 90 days can reach: 100 000 rows, two agents with two
// windows each. What a chart asks for (one agent over 24 hours, 7 days, 30 days) and what a
// forecast asks for (one window's last hour), straight on the database as its thread runs them.
// Run a release build: build/release/bench/history_bench
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "history/usage_history_database.h"

namespace {

constexpr int kRows = 100000;
const Timestamp kNow(788918400.0);

// The file, filled once for every benchmark: rows spread evenly over 90 days.
UsageHistoryDatabase& database() {
    static QTemporaryDir folder;
    static UsageHistoryDatabase history(folder.filePath(QStringLiteral("history.sqlite3")));
    static const bool filled = [] {
        history.open();
        std::vector<HistoryRow> rows;
        const double step = UsageHistoryDatabase::kRetentionSeconds / kRows;
        for (int index = 0; index < kRows; ++index) {
            const bool codex = index % 4 < 2;
            const bool fiveHour = index % 2 == 0;
            rows.push_back({kNow - UsageHistoryDatabase::kRetentionSeconds + index * step,
                            codex ? "codex" : "claude", fiveHour ? 18000 : 604800, index % 100,
                            kNow, UsageSource::LocalDesktop, index % 7 != 0});
        }
        history.append(rows);
        return true;
    }();
    (void)filled;
    return history;
}

void chartQuery(benchmark::State& state) {
    UsageHistoryDatabase& history = database();
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = history.rows(kNow - static_cast<double>(state.range(0)) * 86400, "codex").size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(chartQuery)->Arg(1)->Arg(7)->Arg(30)->Arg(90)->Unit(benchmark::kMillisecond);

void forecastQuery(benchmark::State& state) {
    UsageHistoryDatabase& history = database();
    for (auto _ : state) {
        benchmark::DoNotOptimize(history.samples("codex", 18000, kNow - 3600));
    }
}
BENCHMARK(forecastQuery)->Unit(benchmark::kMillisecond);

}  // namespace
