#include "limit_timeline_builder.h"

#include <algorithm>
#include <iterator>

#include "model/agent_read_times.h"

namespace {

constexpr double kReloadWithUsageSeconds = 1800;
constexpr double kReloadWithoutUsageSeconds = 3600;
// Resets closer than this are too near to be worth a reload of their own.
constexpr double kNearestResetSeconds = 300;
// One second past the age at which the layouts call the data stale.
constexpr double kStaleAfterSeconds = 1801;

}  // namespace

LimitTimeline LimitTimelineBuilder::timeline(const std::optional<AgentUsage>& usage,
                                             std::optional<std::int64_t> durationSeconds,
                                             const std::vector<std::int64_t>& resetDurations,
                                             Timestamp now, std::optional<Timestamp> lastReadAt) {
    Timestamp reload = now + (usage ? kReloadWithUsageSeconds : kReloadWithoutUsageSeconds);
    std::vector<Timestamp> resets;
    if (usage) {
        for (const std::int64_t duration : resetDurations) {
            if (const auto window = usage->window(duration); window && !window->isPastReset(now)) {
                resets.push_back(window->resetDate);
            }
        }
    }
    for (const Timestamp reset : resets) {
        if (reset - now >= kNearestResetSeconds && reset < reload) {
            reload = reset;
        }
    }

    const auto entry = [&](Timestamp date) {
        return LimitEntry{.date = date,
                          .usage = usage,
                          .durationSeconds = durationSeconds,
                          .lastReadAt = lastReadAt};
    };
    LimitTimeline result{.entries = {entry(now)}, .reloadAfter = reload};
    if (usage) {
        // A reset at the reload itself still gets its entry; staleness then waits for the reload.
        std::vector<Timestamp> redraws;
        std::copy_if(resets.begin(), resets.end(), std::back_inserter(redraws),
                     [reload](Timestamp reset) { return reset <= reload; });
        if (const Timestamp stale = lastReadOf(*usage, lastReadAt) + kStaleAfterSeconds;
            stale > now && stale < reload) {
            redraws.push_back(stale);
        }
        std::sort(redraws.begin(), redraws.end());
        for (const Timestamp date : redraws) {
            if (date > result.entries.back().date) {
                result.entries.append(entry(date));
            }
        }
    }
    return result;
}
