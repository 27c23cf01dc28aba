#include "adaptive_refresh_policy.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kActiveInterval = 60.0;
constexpr double kRecentInterval = 120.0;
constexpr double kIdleInterval = 300.0;
constexpr double kMaxInterval = 900.0;
constexpr double kRecentSeconds = 600.0;
constexpr double kFadingSeconds = 1800.0;
// Reset times this close belong to the same instance of a window.
constexpr double kSameWindowTolerance = 1.0;
constexpr std::int64_t kMaxBackOffExponent = 4;

}  // namespace

void AdaptiveRefreshPolicy::recordObservation(const std::vector<UsageActivitySample>& samples,
                                              Timestamp now) {
    std::map<std::int64_t, UsageActivitySample> current;
    for (const UsageActivitySample& sample : samples) {
        current.insert_or_assign(sample.durationSeconds, sample);
    }
    if (!firstObservationAt) {
        firstObservationAt = now;
    } else {
        const bool active = std::any_of(current.begin(), current.end(), [&](const auto& entry) {
            const auto previous = previousSamples.find(entry.first);
            if (previous == previousSamples.end()) {
                return false;
            }
            const UsageActivitySample& before = previous->second;
            const UsageActivitySample& after = entry.second;
            return std::fabs(after.resetDate - before.resetDate) <= kSameWindowTolerance &&
                   after.usedPercent > before.usedPercent;
        });
        if (active) {
            lastActivityAt = now;
        }
    }
    previousSamples = std::move(current);
    consecutiveFailures = 0;
}

void AdaptiveRefreshPolicy::recordFailure() {
    consecutiveFailures = std::min(consecutiveFailures + 1, kMaxConsecutiveFailures);
}

double AdaptiveRefreshPolicy::nextRefreshInterval(Timestamp now) const {
    double base = kIdleInterval;
    if (lastActivityAt) {
        const double elapsed = now - *lastActivityAt;
        // A negative elapsed time (the clock went back) counts as recent activity.
        if (!(elapsed >= kRecentSeconds)) {
            base = kActiveInterval;
        } else if (elapsed < kFadingSeconds) {
            base = kRecentInterval;
        }
    } else if (firstObservationAt && now - *firstObservationAt < kRecentSeconds) {
        base = kRecentInterval;
    }
    if (consecutiveFailures < 1) {
        return base;
    }
    const auto exponent = std::min(consecutiveFailures, kMaxBackOffExponent);
    return std::min(base * std::ldexp(1.0, static_cast<int>(exponent)), kMaxInterval);
}
