#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "widget/widget_extension.h"

// The one place where a widget's refresh dates are decided. Pure.
namespace LimitTimelineBuilder {

// Reload at the earliest reset of `resetDurations` (the usage's windows of exactly those
// lengths) that is at least five minutes away, or sooner than that the fallback: 30 minutes with
// usage, an hour without. With usage, a second entry just after the data turns 30 minutes old
// redraws the widget as stale, when that moment falls between now and the reload.
LimitTimeline timeline(const std::optional<AgentUsage>& usage,
                       std::optional<std::int64_t> durationSeconds,
                       const std::vector<std::int64_t>& resetDurations, Timestamp now);

}  // namespace LimitTimelineBuilder
