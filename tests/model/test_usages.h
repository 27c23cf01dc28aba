#pragma once

#include "model/agent_usage.h"

namespace test {

inline AgentUsage usage(const std::string& provider, const std::string& plan = "plus",
                        std::vector<UsageWindow> windows = {}) {
    return AgentUsage{.windows = std::move(windows),
                      .provider = {provider},
                      .agentName = provider == "codex" ? "Codex" : "Claude",
                      .planType = plan,
                      .updatedAt = Timestamp(788918400.25),
                      .source = UsageSource::LocalDesktop};
}

inline UsageWindow window(std::int64_t used, std::int64_t duration, double reset = 788936400.5) {
    return UsageWindow{
        .usedPercent = used, .durationSeconds = duration, .resetDate = Timestamp(reset)};
}

}  // namespace test
