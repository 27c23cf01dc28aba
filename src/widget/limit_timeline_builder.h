#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "widget/widget_extension.h"

// The one place where a widget's refresh dates are decided. Pure.
namespace LimitTimelineBuilder {

// Reload at the earliest reset of `resetDurations` (the usage's windows of exactly those
// lengths) that is at least five minutes away, or sooner than that the fallback: 30 minutes with
// usage, an hour without. With usage, an entry just after the data turns 30 minutes old (counted
// from lastReadOf(usage, lastReadAt)) redraws the widget as stale, and an entry at each of those
// resets redraws it as reset and checking, when that moment falls after now and no later than the
// reload. Entries are in date order; every entry carries `lastReadAt`.
LimitTimeline timeline(const std::optional<AgentUsage>& usage,
                       std::optional<std::int64_t> durationSeconds,
                       const std::vector<std::int64_t>& resetDurations, Timestamp now,
                       std::optional<Timestamp> lastReadAt = std::nullopt);

}  // namespace LimitTimelineBuilder
