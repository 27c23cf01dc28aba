#pragma once

#include "clock.h"

// The computer's clocks: wall time from the system, waits on Qt's monotonic timers. A sleep
// must be awaited on a thread with a running Qt event loop, and its token cancelled on that same
// thread; the sleeping coroutine resumes from the event loop, never inside cancel().
class SystemClock final : public Clock {
public:
    Timestamp now() const override;
    double monotonicNow() const override;
    QCoro::Task<> sleep(double seconds, CancellationToken token) override;
};
