#include "usage_window.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerHour = 3600;

// Truncates a non-negative double toward zero into 64 bits, saturating past the range.
std::int64_t saturatingTruncate(double value) {
    if (value >= 0x1p63) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return static_cast<std::int64_t>(value);
}

}  // namespace

std::int64_t UsageWindow::remainingPercent() const {
    // Subtracting from 100 would overflow for usedPercent near INT64_MIN; clamp first.
    const std::int64_t used = std::clamp<std::int64_t>(usedPercent, 0, 100);
    return 100 - used;
}

bool UsageWindow::isPastReset(Timestamp now) const {
    return !(resetDate > now);
}

std::optional<std::int64_t> UsageWindow::currentRemainingPercent(Timestamp now) const {
    if (isPastReset(now)) {
        return std::nullopt;
    }
    return remainingPercent();
}

QString UsageWindow::resetCheckingText() {
    return QCoreApplication::translate("UsageWindow", "Reset · checking…");
}

QString UsageWindow::resetText(Timestamp now) const {
    const double seconds = resetDate - now;
    if (!(seconds > 0.0)) {  // also catches NaN
        return QCoreApplication::translate("UsageWindow", "Resetting now");
    }
    return QCoreApplication::translate("UsageWindow", "Resets in %1").arg(durationText(seconds));
}

QString UsageWindow::durationText(double seconds) {
    if (!(seconds > 0.0)) {  // also catches NaN
        seconds = 0.0;
    }
    const std::int64_t hours = saturatingTruncate(seconds / 3600.0);
    const auto minutes = static_cast<std::int64_t>(std::fmod(std::trunc(seconds / 60.0), 60.0));
    if (hours >= 24) {
        return QCoreApplication::translate("UsageWindow", "%1d %2h")
            .arg(hours / 24)
            .arg(hours % 24);
    }
    if (hours >= 1) {
        return QCoreApplication::translate("UsageWindow", "%1h %2m").arg(hours).arg(minutes);
    }
    return QCoreApplication::translate("UsageWindow", "%1m").arg(minutes);
}

QString UsageWindow::periodLabel(std::int64_t seconds) {
    if (seconds % kSecondsPerDay == 0) {
        return QCoreApplication::translate("UsageWindow", "%1D").arg(seconds / kSecondsPerDay);
    }
    if (seconds % kSecondsPerHour == 0) {
        return QCoreApplication::translate("UsageWindow", "%1H").arg(seconds / kSecondsPerHour);
    }
    const std::int64_t minutes = seconds < 60 ? 1 : seconds / 60;
    return QCoreApplication::translate("UsageWindow", "%1M").arg(minutes);
}
