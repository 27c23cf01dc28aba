#include <gtest/gtest.h>

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
    return test::usage(
        "codex", {test::fiveHour(30, kNow + fiveHourReset), test::weekly(60, kNow + weeklyReset)},
        kNow - age);
}

// Each row: the usage, the windows whose resets reload, the entries and the reload date in
// seconds from now, and when the usage was last read, when not when it was updated.
TEST(LimitTimelineBuilderTest, EntriesAndReloadDate) {
    const struct {
        const char* name;
        std::optional<AgentUsage> usage;
        std::vector<std::int64_t> resetDurations;
        std::vector<double> entryOffsets;
        double reloadOffset;
        std::optional<Timestamp> readAt{};
    } rows[] = {
        {"no snapshot: in an hour", std::nullopt, {kFiveHour}, {0}, 3600},
        {"stale at update + 1801", codex(600, 10800), {kFiveHour}, {0, 1201}, 1800},
        {"stale at a later read", codex(2400, 10800), {kFiveHour}, {0, 1201}, 1800, kNow - 600},
        {"a near reset, stale after it", codex(0, 720), {kFiveHour}, {0, 720}, 720},
        {"stale before a near reset", codex(1500, 720), {kFiveHour}, {0, 301, 720}, 720},
        {"a reset under 5 minutes away", codex(1700, 240), {kFiveHour}, {0, 101, 240}, 1800},
        {"a reset exactly 5 minutes away", codex(2400, 300), {kFiveHour}, {0, 300}, 300},
        {"a reset already past", codex(2400, 0), {kFiveHour}, {0}, 1800},
        {"a window not asked for", codex(2400, 720), {kWeekly}, {0}, 1800},
        {"stale already", codex(2400, 10800), {kFiveHour, kWeekly}, {0}, 1800},
    };
    for (const auto& row : rows) {
        const LimitTimeline timeline = LimitTimelineBuilder::timeline(
            row.usage, kWeekly, row.resetDurations, kNow, row.readAt);
        std::vector<double> offsets;
        for (const LimitEntry& entry : timeline.entries) {
            offsets.push_back(entry.date - kNow);
            EXPECT_EQ(entry.usage, row.usage) << row.name;
            EXPECT_EQ(entry.durationSeconds, kWeekly) << row.name;
            EXPECT_EQ(entry.lastReadAt, row.readAt) << row.name;
        }
        EXPECT_EQ(offsets, row.entryOffsets) << row.name;
        EXPECT_EQ(timeline.reloadAfter - kNow, row.reloadOffset) << row.name;
    }
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
