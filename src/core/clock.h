#pragma once

#include <QCoro/QCoroTask>

#include "cancellation_token.h"
#include "timestamp.h"

// Where time comes from. now() is the wall clock, for decisions that compare timestamps;
// sleep() waits on a monotonic clock, for time limits and polling delays. Production code
// uses SystemClock; tests use ManualClock, which advances instantly.
class Clock {
public:
    virtual ~Clock() = default;

    virtual Timestamp now() const = 0;

    // Completes after `seconds` (negative or NaN counts as zero) of monotonic time. Throws
    // CancelledError when `token` is cancelled before or during the wait, and never completes
    // normally once the token is cancelled.
    virtual QCoro::Task<> sleep(double seconds, CancellationToken token) = 0;
};
