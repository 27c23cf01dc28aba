#pragma once

#include <cstdint>

#include "core/timestamp.h"

// What the refresh policy remembers of one window at one observation.
struct UsageActivitySample {
    std::int64_t durationSeconds = 0;
    std::int64_t usedPercent = 0;
    Timestamp resetDate;

    bool operator==(const UsageActivitySample&) const = default;
};
