#pragma once

#include <QString>
#include <cstdint>
#include <functional>

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

    // "Resets in 2h 5m" and the like, relative to `now`. Reset times too far away for the hour
    // count to fit 64 bits are clamped to the largest count.
    QString resetText(Timestamp now) const;
    // A short label for a window length: "5H", "7D", "90M".
    static QString periodLabel(std::int64_t durationSeconds);

    bool operator==(const UsageWindow&) const = default;
};

template <>
struct std::hash<UsageWindow> {
    std::size_t operator()(const UsageWindow& window) const noexcept;
};
