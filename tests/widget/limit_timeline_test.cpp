#include <gtest/gtest.h>

#include "support/named_rows.h"
#include "support/usage_builder.h"
#include "widget/limit_providers.h"
#include "widget/limit_timeline_builder.h"

using namespace Qt::StringLiterals;

namespace {

constexpr std::int64_t kFiveHour = UsageWindow::kFiveHourSeconds;
constexpr std::int64_t kWeekly = UsageWindow::kWeeklySeconds;
const Timestamp kNow(800000000);

// A Codex usage updated `age` seconds ago whose 5-hour window resets in `fiveHourReset` seconds.
AgentUsage codex(double age, double fiveHourReset, double weeklyReset = 345600) {
    AgentUsage usage = test::usage(
        "codex", {test::fiveHour(30, kNow + fiveHourReset), test::weekly(60, kNow + weeklyReset)});
    usage.updatedAt = kNow - age;
    return usage;
}

struct TimelineRow {
    const char* name;
    std::optional<AgentUsage> usage;
    std::vector<std::int64_t> resetDurations;  // the windows whose resets reload
    std::vector<double> entryOffsets;
    double reloadOffset;
};

class LimitTimelineBuilderTest : public testing::TestWithParam<TimelineRow> {};

TEST_P(LimitTimelineBuilderTest, EntriesAndReloadDate) {
    const TimelineRow& row = GetParam();
    const LimitTimeline timeline =
        LimitTimelineBuilder::timeline(row.usage, kWeekly, row.resetDurations, kNow);
    std::vector<double> offsets;
    for (const LimitEntry& entry : timeline.entries) {
        offsets.push_back(entry.date - kNow);
        EXPECT_EQ(entry.usage, row.usage);
        EXPECT_EQ(entry.durationSeconds, kWeekly);
    }
    EXPECT_EQ(offsets, row.entryOffsets);
    EXPECT_EQ(timeline.reloadAfter - kNow, row.reloadOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LimitTimelineBuilderTest,
    testing::Values(
        TimelineRow{"NoSnapshotReloadsInAnHour", std::nullopt, {kFiveHour}, {0}, 3600},
        TimelineRow{
            "FreshDataTurnsStaleAtUpdatePlus1801", codex(600, 10800), {kFiveHour}, {0, 1201}, 1800},
        TimelineRow{"ANearResetIsTheReloadStaleTimeAfterItAddsNothing",
                    codex(0, 720),
                    {kFiveHour},
                    {0, 720},
                    720},
        TimelineRow{
            "StaleTimeBeforeANearResetIsKept", codex(1500, 720), {kFiveHour}, {0, 301, 720}, 720},
        TimelineRow{"AResetUnder5MinutesAwayIsAnEntryNotTheReload",
                    codex(1700, 240),
                    {kFiveHour},
                    {0, 101, 240},
                    1800},
        TimelineRow{
            "AResetExactly5MinutesAwayIsTheReload", codex(2400, 300), {kFiveHour}, {0, 300}, 300},
        TimelineRow{"AResetAlreadyPastIsNeither", codex(2400, 0), {kFiveHour}, {0}, 1800},
        TimelineRow{"AWindowNotAskedForIsNoReloadDate", codex(2400, 720), {kWeekly}, {0}, 1800},
        TimelineRow{"StaleAlreadyOneEntry", codex(2400, 10800), {kFiveHour, kWeekly}, {0}, 1800}),
    rowName);

// Data that did not change but was read ten minutes ago turns stale 30 minutes after that read.
TEST(LimitTimelineBuilderTest, ALaterReadPutsOffStaleness) {
    const LimitTimeline read =
        LimitTimelineBuilder::timeline(codex(2400, 10800), kWeekly, {kFiveHour}, kNow, kNow - 600);
    EXPECT_EQ(read.entries.back().date - kNow, 1201);
    EXPECT_EQ(read.entries.back().lastReadAt, kNow - 600);
}

// What each provider puts in its entries for a configuration, read through the injected loader.
TEST(LimitProviderTest, ChosenUsageDurationAndResets) {
    AgentUsage claude = codex(0, 1200);
    claude.provider = AgentProvider::claude();
    const AgentUsageSnapshot stored({codex(0, 10800, 900), claude});
    const SnapshotLoader loader = [&stored] { return std::optional(stored); };
    const LegacyLimitProvider legacy(loader);
    const ConfigurableLimitProvider configurable(loader);
    const BothLimitsProvider both(loader);
    const auto check = [](const LimitProvider& provider, const WidgetConfiguration& configuration,
                          std::optional<std::string> provides, std::optional<std::int64_t> duration,
                          double reloadOffset) {
        const LimitTimeline timeline = provider.timeline(configuration, kNow);
        const LimitEntry& entry = timeline.entries.front();
        EXPECT_EQ(entry.usage ? std::optional(entry.usage->provider.rawValue) : std::nullopt,
                  provides);
        EXPECT_EQ(entry.durationSeconds, duration);
        EXPECT_EQ(timeline.reloadAfter - kNow, reloadOffset);
        // A transient display of stored data shows the same usage.
        EXPECT_EQ(provider.snapshot(configuration, false, kNow).usage, entry.usage);
    };
    // Fixed: the first agent, reloaded at the resets of all its windows.
    check(legacy, {}, "codex", std::nullopt, 900);
    check(configurable, {}, "codex", kWeekly, 900);
    check(configurable, {u"claude"_s, u"fiveHour"_s}, "claude", kFiveHour, 1200);
    // A removed agent: no usage, never another's.
    check(configurable, {u"gemini"_s, {}}, std::nullopt, kWeekly, 3600);
    check(both, {u"claude"_s, {}}, "claude", std::nullopt, 1200);
}

// The gallery's previews show sample data made for the moment drawn; timelines never do.
TEST(LimitProviderTest, PreviewsUseSampleData) {
    const SnapshotLoader nothing = [] { return std::optional<AgentUsageSnapshot>(); };
    const WidgetConfiguration secondary{u"preview-agent-secondary"_s, {}};
    EXPECT_EQ(LegacyLimitProvider(nothing).snapshot({}, true, kNow).usage,
              AgentUsage::placeholder(kNow));
    EXPECT_EQ(BothLimitsProvider(nothing).snapshot(secondary, true, kNow).usage,
              AgentUsage::secondaryPlaceholder(kNow));
    EXPECT_FALSE(BothLimitsProvider(nothing).timeline(secondary, kNow).entries.front().usage);
}

}  // namespace
