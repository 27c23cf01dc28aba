#include "app/status_report.h"

#include <gtest/gtest.h>

#include <QStringList>

#include "support/usage_builder.h"

namespace {

const Timestamp kNow = test::kReadAt;
const Timestamp kReset = kNow + 7500.0;

TEST(StatusReportTest, OneLinePerAgentAndWindow) {
    const AgentUsageSnapshot snapshot = test::snapshot(
        {test::usage("codex", {test::fiveHour(28, kReset), test::weekly(95, kReset)}),
         test::usage("claude")});
    // A forecast shows beside its own window instance only.
    const PaceForecasts forecasts{{{{"codex", 18000}, {kNow + 4800, kReset}},
                                   {{"codex", 604800}, {std::nullopt, kReset - 3600}}}};
    EXPECT_EQ(StatusReport::lines(snapshot, kNow, forecasts),
              QStringLiteral("Codex · Plus · 5H · 72% remaining · Resets in 2h 5m · At this pace: "
                             "limit reached in 1h 20m, 45m before the reset\n"
                             "Codex · Plus · 7D · 5% remaining · Resets in 2h 5m\n"
                             "Claude · Plus · Waiting for limits"));
    // Once the reset time has come the old percentage is no longer current.
    EXPECT_EQ(StatusReport::lines(snapshot, kReset).split(QLatin1Char('\n')).front(),
              QStringLiteral("Codex · Plus · 5H · Reset · checking…"));
}

// The used percent of each window, and the bar's text and class (its tooltip, the lines above,
// left out): the class follows the lowest remaining percent.
TEST(StatusReportTest, WaybarClassFollowsTheLowestRemainingPercent) {
    const std::pair<std::vector<std::int64_t>, const char*> rows[] = {
        {{10, 20}, R"({"text":"Codex 80%","class":"normal","percentage":80})"},
        {{75}, R"({"text":"Codex 25%","class":"warning","percentage":25})"},
        {{0, 91}, R"({"text":"Codex 9%","class":"critical","percentage":9})"},
        {{}, R"({"text":"","class":"","percentage":0})"}};
    for (const auto& [used, expected] : rows) {
        std::vector<UsageWindow> windows;
        for (const std::int64_t percent : used) {
            windows.push_back(test::fiveHour(percent, kReset));
        }
        QByteArray json =
            StatusReport::waybar(test::snapshot({test::usage("codex", windows)}), kNow);
        const qsizetype tooltip = json.indexOf(",\"tooltip\"");
        json.remove(tooltip, json.indexOf(",\"class\"") - tooltip);
        EXPECT_EQ(json, QByteArray(expected));
    }
}

}  // namespace
