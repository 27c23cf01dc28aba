#include "phone_delivery.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>

namespace PhoneDelivery {

namespace {

constexpr double kFirstRetrySeconds = 5;
constexpr double kLongestRetrySeconds = 300;

// Whole seconds since 1970, cut toward zero; out of range (or not a number) is clamped.
std::int64_t wholeUnixSeconds(Timestamp time) {
    const double seconds = time.unixSeconds();
    // 2^63, the first value that does not fit; -2^63 itself does.
    constexpr double kLimit = 9223372036854775808.0;
    if (std::isnan(seconds)) {
        return 0;
    }
    if (seconds >= kLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (seconds <= -kLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(seconds);
}

}  // namespace

QString snapshotSignature(const AgentUsageSnapshot& snapshot) {
    QStringList items;
    for (const AgentUsage& usage : snapshot.usages) {
        const QString provider = QString::fromStdString(usage.provider.rawValue);
        for (const UsageWindow& window : usage.windows) {
            items.append(provider + QLatin1Char(':') + QString::number(window.durationSeconds) +
                         QLatin1Char(':') + QString::number(window.usedPercent) + QLatin1Char(':') +
                         QString::number(wholeUnixSeconds(window.resetDate)));
        }
    }
    return items.join(QLatin1Char('|'));
}

double wakeRetryDelay(std::int64_t consecutiveFailures) {
    // 5 × 2^6 already passes the cap; larger exponents would only overflow.
    if (consecutiveFailures >= 6) {
        return kLongestRetrySeconds;
    }
    const double delay =
        kFirstRetrySeconds * std::pow(2.0, std::max<std::int64_t>(0, consecutiveFailures));
    return std::min(delay, kLongestRetrySeconds);
}

}  // namespace PhoneDelivery
