#include "time_limit.h"

#include "error.h"

QCoro::Task<> runAfter(Clock& clock, double seconds, CancellationToken cancellation,
                       std::function<void()> onExpiry) {
    try {
        QCoro::Task<> wait = clock.sleep(seconds, cancellation);
        co_await wait;
    } catch (const CancelledError&) {
        co_return;
    }
    if (!cancellation.isCancelled()) {
        onExpiry();
    }
}
