#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/timestamp.h"

// One limit window of one agent. 18000 s is the five-hour window and 604800 s the weekly one;
// consumers find them by exact equality of durationSeconds, never by range.
struct UsageWindow {
    static constexpr std::int64_t kFiveHourSeconds = 18000;
    static constexpr std::int64_t kWeeklySeconds = 604800;

    // As the source reported it; normally 0-100 but not clamped here.
    std::int64_t usedPercent = 0;
    // The window's length, which is also its identity within one usage.
    std::int64_t durationSeconds = 0;
    Timestamp resetDate;

    std::int64_t id() const { return durationSeconds; }
    // 100 - usedPercent, clamped to 0...100.
    std::int64_t remainingPercent() const;

    // Whether the reset date has come at `now` (a reset date that is not a number counts as come).
    // The percentage then belongs to the allowance that was replaced, and until a reading with a
    // later reset arrives no view shows it as current: they show resetCheckingText() and no fill.
    bool isPastReset(Timestamp now) const;
    // The remaining percent to show as current at `now`: nothing once the window is past its reset.
    std::optional<std::int64_t> currentRemainingPercent(Timestamp now) const;
    // "Reset · checking…", what views show for a window past its reset.
    static QString resetCheckingText();

    // "Resets in 2h 5m" and the like, relative to `now`. Reset times too far away for the hour
    // count to fit 64 bits are clamped to the largest count.
    QString resetText(Timestamp now) const;
    // "2d 3h", "1h 20m", "40m": a non-negative length of time, cut to the minute (NaN is "0m").
    static QString durationText(double seconds);
    // A short label for a window length: "5H", "7D", "90M".
    static QString periodLabel(std::int64_t durationSeconds);

    bool operator==(const UsageWindow&) const = default;
};
