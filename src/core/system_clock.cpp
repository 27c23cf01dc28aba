#include "system_clock.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <coroutine>
#include <memory>

#include "error.h"

namespace {

// QTimer takes int milliseconds; longer waits are done in slices of this size.
constexpr double kLongestSliceSeconds = 24.0 * 3600.0;

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// Awaits one timer slice or the token's cancellation, whichever comes first. The timer is
// released with deleteLater because the coroutine may resume from inside its timeout signal.
class TimerSliceAwaiter final {
public:
    TimerSliceAwaiter(double seconds, CancellationToken token)
        : m_seconds(seconds), m_token(std::move(token)) {}

    bool await_ready() const { return m_token.isCancelled(); }

    void await_suspend(std::coroutine_handle<> handle) {
        m_timer.reset(new QTimer);
        m_timer->setSingleShot(true);
        m_timer->setTimerType(Qt::PreciseTimer);
        auto resumed = std::make_shared<bool>(false);
        auto resumeOnce = [handle, resumed] {
            if (!*resumed) {
                *resumed = true;
                handle.resume();
            }
        };
        QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), resumeOnce);
        QPointer<QTimer> timer(m_timer.get());
        m_callback = m_token.onCancel([timer, resumeOnce] {
            if (timer) {
                timer->stop();
                QMetaObject::invokeMethod(timer.data(), resumeOnce, Qt::QueuedConnection);
            }
        });
        const auto milliseconds = static_cast<qint64>(std::ceil(m_seconds * 1000.0));
        m_timer->start(std::chrono::milliseconds(milliseconds));
    }

    void await_resume() {
        if (m_callback != 0) {
            m_token.removeCallback(m_callback);
        }
        m_token.throwIfCancelled();
    }

private:
    double m_seconds;
    CancellationToken m_token;
    std::unique_ptr<QTimer, DeleteLater> m_timer;
    CancellationToken::CallbackId m_callback = 0;
};

}  // namespace

Timestamp SystemClock::now() const {
    return Timestamp::now();
}

double SystemClock::monotonicNow() const {
    // The clock Qt's timers run on, so a reading and a sleep agree.
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QCoro::Task<> SystemClock::sleep(double seconds, CancellationToken token) {
    double remaining = (std::isnan(seconds) || seconds < 0.0) ? 0.0 : seconds;
    token.throwIfCancelled();
    do {
        const double slice = std::min(remaining, kLongestSliceSeconds);
        co_await TimerSliceAwaiter(slice, token);
        remaining -= slice;
    } while (remaining > 0.0);
}
