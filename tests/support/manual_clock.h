#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <vector>

#include "core/clock.h"

// A clock that only moves when told to, so that time limits and back-offs are tested in
// microseconds. Single-threaded: use it on the thread that runs the coroutines under test.
//
// advance() moves both the wall clock and the monotonic clock and resumes, inside the call,
// every sleep that falls due, in order of due time (ties in order of start); while a sleep
// resumes, now() reads its due time. A sleep of zero seconds, and a cancelled sleep, resume
// from the event loop as they would with the system clock. Destroying the clock ends every sleep
// still pending with CancelledError, so no coroutine is left suspended forever.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Timestamp start = Timestamp(788918400.0));
    ~ManualClock() override;
    Q_DISABLE_COPY_MOVE(ManualClock)

    Timestamp now() const override { return m_wallNow; }
    double monotonicNow() const override { return m_monotonicNow; }
    QCoro::Task<> sleep(double seconds, CancellationToken token) override;

    // Moves the wall clock alone, as when the user sets the time; pending sleeps are unaffected.
    void setNow(Timestamp now) { m_wallNow = now; }
    void advance(double seconds);
    // Advances exactly to the earliest pending sleep; false when none is pending.
    bool advanceToNextSleep();

    // Moves the clock to `thread`, whose event loop then resumes the sleeps that resume from the
    // event loop; for code under test that runs on a thread of its own. Call it from the clock's
    // current thread, and use the clock only on `thread` afterwards.
    void moveToThread(QThread* thread) { m_context.moveToThread(thread); }

    std::size_t pendingSleepCount() const { return m_sleepers.size(); }
    // Seconds from now until the earliest pending sleep falls due.
    std::optional<double> secondsUntilNextSleep() const;

    struct Sleeper;

private:
    friend class ManualSleepAwaiter;

    void schedule(const std::shared_ptr<Sleeper>& sleeper);
    void resumeSoon(const std::shared_ptr<Sleeper>& sleeper);
    void resumeReady();
    void remove(const Sleeper* sleeper);
    std::vector<std::shared_ptr<Sleeper>>::const_iterator earliest() const;

    Timestamp m_wallNow;
    double m_monotonicNow = 0.0;
    std::vector<std::shared_ptr<Sleeper>> m_sleepers;
    // Sleeps waiting for the event loop to resume them.
    std::vector<std::shared_ptr<Sleeper>> m_ready;
    bool m_closing = false;
    // Context for resumptions queued on the event loop; gone with the clock.
    QObject m_context;
};
