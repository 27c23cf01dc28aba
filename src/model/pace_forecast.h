#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/timestamp.h"
#include "model/agent_usage.h"
#include "model/usage_window.h"

// One reading of one window, as the usage history keeps it.
struct UsageSample {
    Timestamp time;
    std::int64_t usedPercent = 0;
    Timestamp resetDate;

    bool operator==(const UsageSample&) const = default;
};

// Where a window is heading at the recent rate of use (docs/history.md, "Pace forecast").
struct PaceForecast {
    // Only samples this recent count towards the rate.
    static constexpr double kRecentSeconds = 3600;
    static constexpr std::size_t kMinimumSamples = 3;
    // The samples must cover at least this long, so two quick reads make no trend.
    static constexpr double kMinimumSpanSeconds = 600;
    // A reset date that moves by less than this is the same window (the services round it).
    static constexpr double kSameResetSeconds = 120;

    // When the window reaches 100 % at this pace; nothing when it lasts until the reset.
    std::optional<Timestamp> limitAt;
    Timestamp resetDate;

    // The forecast for `window` at `now` from its samples in the order they were recorded, or
    // nothing when they say too little: fewer than kMinimumSamples of this window instance within
    // the last kRecentSeconds, spanning less than kMinimumSpanSeconds, or a window already at
    // 100 % or past its reset. Samples of an earlier instance (another reset date, or a fall in
    // use) and samples recorded before the clock was set back are left out.
    static std::optional<PaceForecast> estimate(const std::vector<UsageSample>& samples,
                                                const UsageWindow& window, Timestamp now);

    // "At this pace: limit reached in 1h 20m, 40m before the reset" or "At this pace: lasts until
    // the reset".
    QString text(Timestamp now) const;

    bool operator==(const PaceForecast&) const = default;
};

// The forecasts of every agent's windows, stored beside the snapshot for the widgets:
// {"codex":{"18000":{"resetDate":…,"limitAt":…}}}, limitAt left out when it lasts.
struct PaceForecasts {
    // By provider raw value and window length.
    std::map<std::pair<std::string, std::int64_t>, PaceForecast> forecasts;

    std::optional<PaceForecast> find(const std::string& provider, std::int64_t windowSeconds) const;
    // The forecast's text for `window` as views show it at `now`: nothing when there is none, when
    // it belongs to another instance of the window, when the window is past its reset, or when
    // the limit time it foresaw has passed (a newer forecast is on its way).
    std::optional<QString> textFor(const std::string& provider, const UsageWindow& window,
                                   Timestamp now) const;

    // One line for all of `usage`'s windows, "5H · At this pace: …": the window that reaches its
    // limit first, or else the first window that lasts; nothing when no window has a forecast.
    std::optional<QString> summaryFor(const AgentUsage& usage, Timestamp now) const;

    // Throws json::EncodingError for a time that is not finite.
    std::string encode() const;
    // Throws json::DecodingError unless the bytes have exactly this form.
    static PaceForecasts decode(std::string_view bytes);

    bool operator==(const PaceForecasts&) const = default;
};
