#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "model/usage_activity_sample.h"

// Decides how long to wait before an agent's usage is read again: every minute while a window's
// used percent is rising, slowing to two and then five minutes as activity fades, and backing
// off exponentially to fifteen minutes after failures. A plain value that neither waits nor
// reads a clock: every operation is given "now".
struct AdaptiveRefreshPolicy {
    static constexpr std::int64_t kMaxConsecutiveFailures = 8;

    // The windows of the last observation, by window length.
    std::map<std::int64_t, UsageActivitySample> previousSamples;
    std::optional<Timestamp> firstObservationAt;
    std::optional<Timestamp> lastActivityAt;
    // Failed reads since the last successful observation, 0 to 8.
    std::int64_t consecutiveFailures = 0;

    // A read succeeded and returned these samples.
    void recordObservation(const std::vector<UsageActivitySample>& samples, Timestamp now);
    // A read failed.
    void recordFailure();
    // Seconds to wait before the next read.
    double nextRefreshInterval(Timestamp now) const;

    bool operator==(const AdaptiveRefreshPolicy&) const = default;
};
