#include "wake_schedule.h"

#include <algorithm>

namespace WakeSchedule {

std::optional<std::size_t> currentEntry(const std::vector<Timestamp>& entryDates, Timestamp now) {
    if (entryDates.empty()) {
        return std::nullopt;
    }
    std::size_t current = 0;
    for (std::size_t index = 1; index < entryDates.size(); ++index) {
        if (entryDates[index] <= now) {
            current = index;
        }
    }
    return current;
}

Timestamp nextWake(const std::vector<Timestamp>& entryDates, Timestamp reloadDate, Timestamp now) {
    Timestamp wake = reloadDate;
    for (const Timestamp date : entryDates) {
        if (date > now) {
            wake = std::min(wake, date);
        }
    }
    return wake;
}

Timestamp effectiveReloadDate(Timestamp reloadDate, Timestamp receivedAt) {
    return std::max(reloadDate, receivedAt + kShortestReloadDelaySeconds);
}

}  // namespace WakeSchedule
