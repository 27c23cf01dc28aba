#include "wall_clock_scheduler.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <vector>

#include "core/error.h"

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
// The kernel keeps timer instants in signed 64-bit nanoseconds (until 2262).
constexpr double kLatestSeconds = 9.0e9;

std::int64_t deadlineOf(Timestamp instant) {
    double seconds = instant.unixSeconds();
    if (std::isnan(seconds) || seconds > kLatestSeconds) {
        seconds = kLatestSeconds;
    }
    if (seconds <= 0.0) {
        // Zero would disarm the timer: the past is its first nanosecond.
        return 1;
    }
    const double whole = std::floor(seconds);
    return static_cast<std::int64_t>(whole) * kNanosecondsPerSecond +
           static_cast<std::int64_t>(std::round((seconds - whole) * 1e9));
}

std::int64_t wallNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

}  // namespace

WallClockScheduler::WallClockScheduler(QObject* parent) : QObject(parent) {}

WallClockScheduler::~WallClockScheduler() {
    m_notifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void WallClockScheduler::schedule(const QString& key, Timestamp instant,
                                  std::function<void()> action) {
    ensureTimer();
    const std::int64_t deadline = deadlineOf(instant);
    m_pending.insert_or_assign(key, Entry{deadline, std::move(action)});
    // A replaced entry may leave the timer early: it then finds nothing due and re-arms.
    if (m_armed == 0 || deadline < m_armed) {
        arm(deadline);
    }
}

void WallClockScheduler::cancelAll() {
    m_pending.clear();
    if (m_fd >= 0) {
        arm(0);
    }
}

void WallClockScheduler::ensureTimer() {
    if (m_fd >= 0) {
        return;
    }
    m_fd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0) {
        throw PlatformError(qt_error_string(errno));
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &WallClockScheduler::runDue);
}

void WallClockScheduler::arm(std::int64_t deadline) {
    itimerspec timer{};
    timer.it_value.tv_sec = static_cast<time_t>(deadline / kNanosecondsPerSecond);
    timer.it_value.tv_nsec = static_cast<long>(deadline % kNanosecondsPerSecond);
    // Cancel-on-set makes the timer report a clock change, so the instants are compared afresh.
    const int flags = deadline == 0 ? 0 : TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET;
    timerfd_settime(m_fd, flags, &timer, nullptr);
    m_armed = deadline;
}

void WallClockScheduler::runDue() {
    // Either the expiry count or ECANCELED after a clock change: both mean "look at the clock".
    std::uint64_t expirations = 0;
    const ssize_t read = ::read(m_fd, &expirations, sizeof expirations);
    Q_UNUSED(read);
    m_armed = 0;
    const std::int64_t now = wallNow();
    std::vector<QString> due;
    for (const auto& [key, entry] : m_pending) {
        if (entry.deadline <= now) {
            due.push_back(key);
        }
    }
    QPointer<WallClockScheduler> self(this);
    for (const QString& key : due) {
        auto found = m_pending.find(key);
        // An earlier action may have withdrawn or replaced this one.
        if (found == m_pending.end() || found->second.deadline > now) {
            continue;
        }
        std::function<void()> action = std::move(found->second.action);
        m_pending.erase(found);
        action();
        if (!self) {
            return;
        }
    }
    std::int64_t earliest = 0;
    for (const auto& [key, entry] : m_pending) {
        if (earliest == 0 || entry.deadline < earliest) {
            earliest = entry.deadline;
        }
    }
    arm(earliest);
}
