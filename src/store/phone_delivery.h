#pragma once

#include <QString>
#include <cstdint>

#include "model/agent_usage_snapshot.h"

// The rules by which the store wakes the phone while it is away from the local network.
namespace PhoneDelivery {

// A wake waits this long after the last change, so a burst of changes sends one.
inline constexpr double kCoalescingSeconds = 1.0;
// A phone's refresh request within this long of the last refresh start is ignored, so a phone
// cannot make the program poll the agents more often.
inline constexpr double kRemoteRefreshSpacingSeconds = 30.0;

// What a wake is about: every window of every usage in order, as
// "provider:durationSeconds:usedPercent:resetUnixSeconds" joined with "|". It changes exactly
// when a window's length, used percent or reset second changes; names, plans, sources and update
// times do not enter. Reset times beyond a 64-bit count of seconds are clamped.
QString snapshotSignature(const AgentUsageSnapshot& snapshot);

// Seconds before retrying a wake after `consecutiveFailures` earlier failures:
// 5, 10, 20 … doubling, at most 300.
double wakeRetryDelay(std::int64_t consecutiveFailures);

}  // namespace PhoneDelivery
