#pragma once

#include <QCoro/QCoroTask>

#include "cancellation_token.h"
#include "timestamp.h"

// Where time comes from. now() is the wall clock, for decisions that compare timestamps;
// monotonicNow() and sleep() are the monotonic clock, for intervals that setting the wall clock
// must not stretch or shrink (time limits, polling delays, guards between clicks). Production
// code uses SystemClock; tests use ManualClock, which advances instantly.
class Clock {
public:
    virtual ~Clock() = default;

    virtual Timestamp now() const = 0;

    // Seconds on a clock that only moves forward, from an origin of the clock's choosing: only
    // differences between two readings mean anything.
    virtual double monotonicNow() const = 0;

    // Completes after `seconds` (negative or NaN counts as zero) of monotonic time. Throws
    // CancelledError when `token` is cancelled before or during the wait, and never completes
    // normally once the token is cancelled.
    virtual QCoro::Task<> sleep(double seconds, CancellationToken token) = 0;
};
