#include "model/pace_forecast.h"

#include <gtest/gtest.h>

#include "core/json.h"
#include "support/named_rows.h"
#include "support/usage_builder.h"

namespace {

const Timestamp kNow(788918400.0);
const Timestamp kReset = kNow + 7200;

// A sample `minutesAgo` before kNow of the window resetting at `reset`.
UsageSample at(double minutesAgo, std::int64_t used, Timestamp reset = kReset) {
    return {kNow - minutesAgo * 60, used, reset};
}

struct ForecastRow {
    const char* name;
    std::vector<UsageSample> samples;  // in the order recorded
    std::int64_t usedNow;
    // Minutes from kNow to the limit; -1: lasts until the reset; nothing: no forecast.
    std::optional<double> limitInMinutes;
};

class PaceForecastTest : public testing::TestWithParam<ForecastRow> {};

TEST_P(PaceForecastTest, Estimate) {
    const ForecastRow& row = GetParam();
    const std::optional<PaceForecast> forecast =
        PaceForecast::estimate(row.samples, test::window(18000, row.usedNow, kReset), kNow);
    ASSERT_EQ(forecast.has_value(), row.limitInMinutes.has_value());
    if (forecast) {
        EXPECT_EQ(forecast->resetDate, kReset);
        const double minutes = forecast->limitAt ? (*forecast->limitAt - kNow) / 60 : -1;
        EXPECT_NEAR(minutes, *row.limitInMinutes, 0.01);
    }
}

// One point every ten minutes over the last 30: 1 % a minute, 60 % now, so 40 minutes to go.
const std::vector<UsageSample> kRising = {at(30, 30), at(20, 40), at(10, 50), at(0, 60)};

INSTANTIATE_TEST_SUITE_P(
    Rows, PaceForecastTest,
    testing::Values(
        ForecastRow{"Rising", kRising, 60, 40.0},
        ForecastRow{
            "TooSlowToReachItBeforeTheReset", {at(30, 10), at(15, 11), at(0, 12)}, 12, -1.0},
        ForecastRow{"FlatUseLasts", {at(45, 20), at(30, 20), at(0, 20)}, 20, -1.0},
        ForecastRow{"TooFewSamples", {at(30, 30), at(0, 60)}, 60, std::nullopt},
        ForecastRow{"TooShortASpan", {at(9, 30), at(5, 40), at(0, 50)}, 50, std::nullopt},
        ForecastRow{"OnlyTheLastHourCounts",
                    {at(90, 0), at(80, 10), at(70, 20), at(0, 60)},
                    60,
                    std::nullopt},
        ForecastRow{"AlreadyAtTheLimit", kRising, 100, std::nullopt},
        // The window reset between two samples: the old instance's samples are left out, and
        // so is a fall in use the reset date did not show.
        ForecastRow{
            "AResetInBetween",
            {at(50, 90, kNow - 100), at(40, 95, kNow - 100), at(30, 30), at(20, 40), at(10, 50)},
            60,
            40.0},
        ForecastRow{"AFallInUse", {at(40, 95), at(30, 30), at(20, 40), at(10, 50)}, 60, 40.0},
        // Recorded before the clock was set back an hour: later times, never a negative slope.
        ForecastRow{"TheClockSetBack",
                    {at(-70, 80), at(-60, 90), at(30, 30), at(20, 40), at(10, 50)},
                    60,
                    40.0}),
    rowName);

TEST(PaceForecastTest, TextsAndTheirStoredForm) {
    const PaceForecast reaches{kNow + 4800, kNow + 7200};
    const PaceForecast lasts{std::nullopt, kNow + 7200};
    EXPECT_EQ(reaches.text(kNow),
              QStringLiteral("At this pace: limit reached in 1h 20m, 40m before the reset"));
    EXPECT_EQ(lasts.text(kNow), QStringLiteral("At this pace: lasts until the reset"));

    const PaceForecasts forecasts{{{{"codex", 18000}, reaches}, {{"claude", 604800}, lasts}}};
    EXPECT_EQ(PaceForecasts::decode(forecasts.encode()), forecasts);
    // Shown for its own window instance until the limit time it foresaw; never past the reset.
    const UsageWindow window{.usedPercent = 50, .durationSeconds = 18000, .resetDate = kNow + 7260};
    EXPECT_EQ(forecasts.textFor("codex", window, kNow), reaches.text(kNow));
    EXPECT_EQ(forecasts.textFor("codex", window, kNow + 4800), std::nullopt);
    EXPECT_EQ(forecasts.textFor("claude", window, kNow), std::nullopt);
    EXPECT_EQ(forecasts.textFor("codex", {50, 18000, kNow + 7500}, kNow), std::nullopt);
    // The tray's one line: the window that reaches its limit first, or else one that lasts.
    AgentUsage usage;
    usage.windows = {{50, 604800, kNow + 7200}, window};
    usage.provider = {"codex"};
    EXPECT_EQ(forecasts.summaryFor(usage, kNow), QStringLiteral("5H · ") + reaches.text(kNow));
    usage.provider = {"claude"};
    EXPECT_EQ(forecasts.summaryFor(usage, kNow), QStringLiteral("7D · ") + lasts.text(kNow));
    const PaceForecasts lasting{{{{"codex", 18000}, lasts}}};
    EXPECT_EQ(lasting.textFor("codex", window, kNow + 7300), std::nullopt);
    for (const char* bad : {R"([])", R"({"codex":{"5h":{"resetDate":1}}})",
                            R"({"codex":{"18000":{}}})", R"({"codex":{"-1":{"resetDate":1}}})",
                            R"({"codex":{"18000":{"resetDate":1,"limitAt":"soon"}}})"}) {
        EXPECT_THROW(PaceForecasts::decode(bad), json::DecodingError) << bad;
    }
}

}  // namespace
