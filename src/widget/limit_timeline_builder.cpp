#include "limit_timeline_builder.h"

namespace {

constexpr double kReloadWithUsageSeconds = 1800;
constexpr double kReloadWithoutUsageSeconds = 3600;
// Resets closer than this are too near to be worth a wake-up of their own.
constexpr double kNearestResetSeconds = 300;
// One second past the age at which the layouts call the data stale.
constexpr double kStaleAfterSeconds = 1801;

}  // namespace

LimitTimeline LimitTimelineBuilder::timeline(const std::optional<AgentUsage>& usage,
                                             std::optional<std::int64_t> durationSeconds,
                                             const std::vector<std::int64_t>& resetDurations,
                                             Timestamp now) {
    Timestamp reload = now + (usage ? kReloadWithUsageSeconds : kReloadWithoutUsageSeconds);
    if (usage) {
        for (const std::int64_t duration : resetDurations) {
            const auto window = usage->window(duration);
            if (window && window->resetDate - now >= kNearestResetSeconds &&
                window->resetDate < reload) {
                reload = window->resetDate;
            }
        }
    }

    LimitTimeline result{
        .entries = {{.date = now, .usage = usage, .durationSeconds = durationSeconds}},
        .reloadAfter = reload};
    if (usage) {
        const Timestamp stale = usage->updatedAt + kStaleAfterSeconds;
        if (stale > now && stale < reload) {
            result.entries.append(
                {.date = stale, .usage = usage, .durationSeconds = durationSeconds});
        }
    }
    return result;
}
