#pragma once

#include <string>
#include <vector>

#include "model/agent_usage.h"
#include "model/agent_usage_snapshot.h"

// Usages and snapshots for tests: what a test does not name is a plausible constant, so a test
// spells out only the values its rule is about.
namespace test {

// 2026-01-01 00:00:00.25 UTC: when the usages below were read.
inline const Timestamp kReadAt(788918400.25);
// Two hours later: when their windows reset.
inline const Timestamp kResetAt(788925600);

inline UsageWindow window(std::int64_t durationSeconds, std::int64_t usedPercent,
                          Timestamp resetDate = kResetAt) {
    return UsageWindow{
        .usedPercent = usedPercent, .durationSeconds = durationSeconds, .resetDate = resetDate};
}

inline UsageWindow fiveHour(std::int64_t usedPercent, Timestamp resetDate = kResetAt) {
    return window(UsageWindow::kFiveHourSeconds, usedPercent, resetDate);
}

inline UsageWindow weekly(std::int64_t usedPercent, Timestamp resetDate = kResetAt) {
    return window(UsageWindow::kWeeklySeconds, usedPercent, resetDate);
}

// A usage of "codex" (named "Codex") or any other provider (named "Claude"), plan "plus", read
// on this computer at `updatedAt`.
inline AgentUsage usage(const std::string& provider, std::vector<UsageWindow> windows = {},
                        Timestamp updatedAt = kReadAt) {
    return AgentUsage{.windows = std::move(windows),
                      .provider = {provider},
                      .agentName = provider == "codex" ? "Codex" : "Claude",
                      .planType = "plus",
                      .updatedAt = updatedAt,
                      .source = UsageSource::LocalDesktop};
}

// A usage whose only window, five hours long, is `used` percent used.
inline AgentUsage usage(const std::string& provider, std::int64_t used) {
    return usage(provider, {fiveHour(used)});
}

inline AgentUsageSnapshot snapshot(std::vector<AgentUsage> usages) {
    return AgentUsageSnapshot(std::move(usages));
}

}  // namespace test
