#include "app/status_report.h"

#include <gtest/gtest.h>

namespace {

const Timestamp kNow(800000000);

AgentUsage usage(const std::string& provider, std::vector<std::int64_t> used) {
    AgentUsage result{.windows = {},
                      .provider = {provider},
                      .agentName = provider == "codex" ? "Codex" : "Claude",
                      .planType = provider == "codex" ? "plus" : "",
                      .updatedAt = kNow,
                      .source = UsageSource::LocalDesktop};
    const std::int64_t durations[] = {UsageWindow::kFiveHourSeconds, UsageWindow::kWeeklySeconds};
    for (std::size_t i = 0; i < used.size(); ++i) {
        result.windows.push_back(
            {.usedPercent = used[i], .durationSeconds = durations[i], .resetDate = kNow + 7500.0});
    }
    return result;
}

TEST(StatusReportTest, OneLinePerAgentAndWindow) {
    const AgentUsageSnapshot snapshot({usage("codex", {28, 95}), usage("claude", {})});
    EXPECT_EQ(StatusReport::lines(snapshot, kNow),
              QStringLiteral("Codex · Plus · 5H · 72% remaining · Resets in 2h 5m\n"
                             "Codex · Plus · 7D · 5% remaining · Resets in 2h 5m\n"
                             "Claude · Waiting for limits"));
    // Once the reset time has come the old percentage is no longer current.
    EXPECT_EQ(StatusReport::lines(AgentUsageSnapshot({usage("codex", {28})}), kNow + 7500.0),
              QStringLiteral("Codex · Plus · 5H · Reset · checking…"));
}

TEST(StatusReportTest, WaybarClassFollowsTheLowestRemainingPercent) {
    struct Row {
        std::vector<std::int64_t> used;
        const char* expected;
    };
    for (const Row& row : {
             Row{{10, 20}, R"({"text":"Codex 80%","class":"normal","percentage":80})"},
             Row{{75}, R"({"text":"Codex 25%","class":"warning","percentage":25})"},
             Row{{0, 91}, R"({"text":"Codex 9%","class":"critical","percentage":9})"},
             Row{{}, R"({"text":"","class":"","percentage":0})"},
         }) {
        QByteArray json =
            StatusReport::waybar(AgentUsageSnapshot({usage("codex", row.used)}), kNow);
        // The tooltip holds the lines tested above.
        const qsizetype tooltip = json.indexOf(",\"tooltip\"");
        json.remove(tooltip, json.indexOf(",\"class\"") - tooltip);
        EXPECT_EQ(json, QByteArray(row.expected));
    }
}

}  // namespace
