#include "manual_clock.h"

#include <algorithm>
#include <cmath>
#include <coroutine>

#include "core/error.h"

struct ManualClock::Sleeper {
    double deadline = 0.0;
    std::coroutine_handle<> handle;
    bool resumed = false;
    // The clock went away before the sleep was due.
    bool abandoned = false;

    void resumeOnce() {
        if (!resumed) {
            resumed = true;
            handle.resume();
        }
    }
};

class ManualSleepAwaiter final {
public:
    ManualSleepAwaiter(ManualClock& clock, double seconds, CancellationToken token)
        : m_clock(clock), m_seconds(seconds), m_token(std::move(token)) {}

    bool await_ready() const { return m_token.isCancelled() || m_clock.m_closing; }

    void await_suspend(std::coroutine_handle<> handle) {
        m_sleeper = std::make_shared<ManualClock::Sleeper>();
        m_sleeper->deadline = m_clock.m_monotonicNow + m_seconds;
        m_sleeper->handle = handle;
        m_clock.schedule(m_sleeper);
        ManualClock* clock = &m_clock;
        std::weak_ptr<ManualClock::Sleeper> weak = m_sleeper;
        m_callback = m_token.onCancel([clock, weak] {
            if (auto sleeper = weak.lock()) {
                clock->remove(sleeper.get());
                clock->resumeSoon(sleeper);
            }
        });
    }

    void await_resume() {
        if (m_callback != 0) {
            m_token.removeCallback(m_callback);
        }
        m_token.throwIfCancelled();
        if (m_clock.m_closing || (m_sleeper && m_sleeper->abandoned)) {
            throw CancelledError();
        }
    }

private:
    ManualClock& m_clock;
    double m_seconds;
    CancellationToken m_token;
    std::shared_ptr<ManualClock::Sleeper> m_sleeper;
    CancellationToken::CallbackId m_callback = 0;
};

ManualClock::ManualClock(Timestamp start) : m_wallNow(start) {}

ManualClock::~ManualClock() {
    m_closing = true;
    // Resumed coroutines may start or cancel other sleeps; drain until nothing is left.
    while (!m_sleepers.empty() || !m_ready.empty()) {
        std::vector<std::shared_ptr<Sleeper>> pending;
        pending.swap(m_ready);
        pending.insert(pending.end(), m_sleepers.begin(), m_sleepers.end());
        m_sleepers.clear();
        for (const auto& sleeper : pending) {
            sleeper->abandoned = true;
            sleeper->resumeOnce();
        }
    }
}

QCoro::Task<> ManualClock::sleep(double seconds, CancellationToken token) {
    const double duration = (std::isnan(seconds) || seconds < 0.0) ? 0.0 : seconds;
    token.throwIfCancelled();
    co_await ManualSleepAwaiter(*this, duration, std::move(token));
}

void ManualClock::schedule(const std::shared_ptr<Sleeper>& sleeper) {
    if (sleeper->deadline <= m_monotonicNow) {
        resumeSoon(sleeper);
        return;
    }
    m_sleepers.push_back(sleeper);
}

void ManualClock::resumeSoon(const std::shared_ptr<Sleeper>& sleeper) {
    m_ready.push_back(sleeper);
    if (m_ready.size() == 1) {
        QMetaObject::invokeMethod(
            &m_context, [this] { resumeReady(); }, Qt::QueuedConnection);
    }
}

void ManualClock::resumeReady() {
    std::vector<std::shared_ptr<Sleeper>> ready;
    ready.swap(m_ready);
    for (const auto& sleeper : ready) {
        sleeper->resumeOnce();
    }
}

void ManualClock::remove(const Sleeper* sleeper) {
    std::erase_if(m_sleepers, [sleeper](const auto& entry) { return entry.get() == sleeper; });
}

void ManualClock::advance(double seconds) {
    if (std::isnan(seconds) || seconds < 0.0) {
        return;
    }
    const double target = m_monotonicNow + seconds;
    auto moveTo = [this](double monotonic) {
        m_wallNow = m_wallNow + (monotonic - m_monotonicNow);
        m_monotonicNow = monotonic;
    };
    // Resumed coroutines may start new sleeps that fall due before the target: pick the earliest
    // one afresh each time.
    for (;;) {
        auto next = earliest();
        if (next == m_sleepers.end() || (*next)->deadline > target) {
            break;
        }
        // A copy, which keeps the sleeper while its entry is erased and it resumes.
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
        std::shared_ptr<Sleeper> sleeper = *next;
        m_sleepers.erase(next);
        moveTo(std::max(m_monotonicNow, sleeper->deadline));
        sleeper->resumeOnce();
    }
    moveTo(target);
}

bool ManualClock::advanceToNextSleep() {
    const auto seconds = secondsUntilNextSleep();
    advance(seconds.value_or(0.0));
    return seconds.has_value();
}

std::optional<double> ManualClock::secondsUntilNextSleep() const {
    if (m_sleepers.empty()) {
        return std::nullopt;
    }
    return (*earliest())->deadline - m_monotonicNow;
}

// The sleep that falls due first; among equals the first started, as the list keeps that order.
std::vector<std::shared_ptr<ManualClock::Sleeper>>::const_iterator ManualClock::earliest() const {
    return std::min_element(m_sleepers.begin(), m_sleepers.end(),
                            [](const auto& a, const auto& b) { return a->deadline < b->deadline; });
}
