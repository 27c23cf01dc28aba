#include "ui/history/history_window.h"

#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QLegendMarker>
#include <QTemporaryDir>

#include "history/usage_history.h"
#include "support/manual_clock.h"
#include "support/usage_builder.h"
#include "ui/history/history_chart_data.h"
#include "window_test_support.h"

using namespace Qt::StringLiterals;

namespace {

const Timestamp kNow(788918400);

HistoryRow row(const char* provider, double hoursAgo, std::int64_t used, double resetIn) {
    return {kNow - hoursAgo * 3600,    provider, 18000, used, kNow + resetIn * 3600,
            UsageSource::LocalDesktop, true};
}

// A reset is a later window instance or a fall in use; one chart per agent and window.
TEST(HistoryChartDataTest, ResetsAndCharts) {
    const auto charts = HistoryChartData::fromRows({row("codex", 6, 70, -1), row("codex", 5, 5, 4),
                                                    row("claude", 5, 10, 4), row("codex", 4, 30, 4),
                                                    row("codex", 3, 2, 4)});
    ASSERT_EQ(charts.size(), 2u);
    EXPECT_EQ(charts[0].first, std::pair(std::string("codex"), std::int64_t(18000)));
    EXPECT_EQ(charts[0].second.used.size(), 4u);
    EXPECT_EQ(charts[0].second.resets,
              (std::vector<double>{(kNow - 5 * 3600.0).unixSeconds() * 1000,
                                   (kNow - 3 * 3600.0).unixSeconds() * 1000}));
    EXPECT_TRUE(charts[1].second.resets.empty());
}

// The window on a real history file: the last week's charts, readable by name, in both schemes;
// an empty range says so.
TEST(HistoryWindowTest, ChartsOfTheRangeInBothSchemes) {
    QTemporaryDir folder;
    ManualClock clock(kNow);
    UsageHistory history(folder.filePath(u"history.sqlite3"_s), clock);
    for (const double hoursAgo : {100.0, 72.0, 48.0, 30.0, 20.0, 10.0, 2.0}) {
        clock.setNow(kNow - hoursAgo * 3600);
        history.record(
            test::usage("codex",
                        {test::fiveHour(static_cast<std::int64_t>(100 - hoursAgo), kNow + 3600)}),
            true);
    }
    clock.setNow(kNow);
    HistoryWindow window(history, clock);
    int reloads = 0;
    QObject::connect(&window, &HistoryWindow::reloaded, [&] { ++reloads; });
    window.show();
    ASSERT_TRUE(test::processEventsUntil([&] { return reloads == 1; }));
    ASSERT_EQ(window.charts().size(), 1u);
    QChartView* view = window.charts().front();
    EXPECT_EQ(view->accessibleName(), u"Codex 5H limit: used percent over the last 7 days"_s);
    EXPECT_EQ(view->chart()->series().size(), 2);
    EXPECT_EQ(view->chart()->series().front()->name(), u"Used percent"_s);

    // Each scheme's picture: the chart's theme and the plot's background follow the desktop.
    const auto images = test::inBothSchemes(window, u"history"_s, [&](bool dark) {
        return view->chart()->theme() == (dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    });
    const QPoint plot =
        view->chart()->plotArea().toRect().topLeft() + view->mapTo(&window, QPoint(4, 4));
    EXPECT_GE(qGray(images[0].pixel(plot)), 128);
    EXPECT_LT(qGray(images[1].pixel(plot)), 128);

    window.setRange(HistoryWindow::Range::Day);
    ASSERT_TRUE(test::processEventsUntil([&] { return reloads == 2; }));
    EXPECT_EQ(window.charts().size(), 1u) << "the reading 2 hours ago";
    clock.setNow(kNow + 30 * 86400);
    window.setRange(HistoryWindow::Range::Month);
    ASSERT_TRUE(test::processEventsUntil([&] { return reloads == 3; }));
    EXPECT_TRUE(window.charts().empty());
    EXPECT_TRUE(test::shows(
        window, u"No history yet. Quotamind keeps every reading of the limits from now on."_s));
}

}  // namespace
