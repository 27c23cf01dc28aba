#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "core/timestamp.h"

// When a placed widget needs the host again. A timeline is shown entry by entry, each from its
// date, until its reload date, when the host asks for a new one; nothing else wakes the host for
// it (a reload request from the tray program aside).
namespace WakeSchedule {

// A reload date that is not in the future is honoured this much later, so a timeline that asks
// for an immediate reload cannot keep the host busy.
inline constexpr double kShortestReloadDelaySeconds = 60.0;

// The entry to show at `now`: the last one whose date is not after `now`, or the first while
// all of them are still ahead. Nothing for an empty timeline.
std::optional<std::size_t> currentEntry(const std::vector<Timestamp>& entryDates, Timestamp now);

// The next instant the widget changes: the first entry date after `now` or the reload date,
// whichever comes first.
Timestamp nextWake(const std::vector<Timestamp>& entryDates, Timestamp reloadDate, Timestamp now);

// The reload date to keep for a timeline received at `receivedAt`.
Timestamp effectiveReloadDate(Timestamp reloadDate, Timestamp receivedAt);

}  // namespace WakeSchedule
