#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "core/timestamp.h"

class QSocketNotifier;

// Runs actions when the wall clock reaches their instants: a timerfd on CLOCK_REALTIME armed at
// the earliest instant, so an action whose instant passed during a suspend runs at resume, and
// one the user's clock change made due runs then (the timer is re-armed on every clock change).
// A QTimer would measure monotonic time, which stops while the computer sleeps.
//
// Actions run on the thread that owns the scheduler, from its event loop, never inside
// schedule(). An instant in the past is due at once; one beyond what the timer can hold waits
// at the timer's limit (the 23rd century) and never runs in practice.
class WallClockScheduler final : public QObject {
    Q_OBJECT

public:
    explicit WallClockScheduler(QObject* parent = nullptr);
    ~WallClockScheduler() override;
    Q_DISABLE_COPY_MOVE(WallClockScheduler)

    // Replaces any pending action under `key`. Throws PlatformError when the system gives no
    // timer (too many open files).
    void schedule(const QString& key, Timestamp instant, std::function<void()> action);
    void cancelAll();
    std::size_t pendingCount() const { return m_pending.size(); }

private:
    struct Entry {
        std::int64_t deadline;  // nanoseconds since the Unix epoch
        std::function<void()> action;
    };

    void ensureTimer();
    void arm(std::int64_t deadline);
    void runDue();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::map<QString, Entry> m_pending;
    // The instant the timer is armed for; 0 when disarmed.
    std::int64_t m_armed = 0;
};
