#pragma once

#include <QCoro/QCoroTask>
#include <functional>

#include "cancellation_token.h"
#include "clock.h"

// Runs `onExpiry` once `seconds` of monotonic time have passed on `clock`, unless `cancellation`
// is cancelled first, in which case nothing runs. Only the cancellation of the wait is caught:
// any other failure of the clock propagates.
//
// Await the returned task after cancelling to know the wait is gone, or drop it to let the limit
// run on its own. `clock` and whatever `onExpiry` refers to must outlive the wait.
QCoro::Task<> runAfter(Clock& clock, double seconds, CancellationToken cancellation,
                       std::function<void()> onExpiry);
