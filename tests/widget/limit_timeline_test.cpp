#include <gtest/gtest.h>

#include "model/test_usages.h"
#include "widget/limit_providers.h"
#include "widget/limit_timeline_builder.h"

namespace {

constexpr std::int64_t kFiveHour = UsageWindow::kFiveHourSeconds;
constexpr std::int64_t kWeekly = UsageWindow::kWeeklySeconds;

// A Codex usage updated `age` seconds before `now`, with windows resetting after the given
// seconds from `now`.
AgentUsage codexAt(Timestamp now, double age, double fiveHourReset, double weeklyReset) {
    AgentUsage usage = test::usage("codex");
    usage.updatedAt = now - age;
    usage.windows = {test::window(30, kFiveHour, (now + fiveHourReset).secondsSince2001()),
                     test::window(60, kWeekly, (now + weeklyReset).secondsSince2001())};
    return usage;
}

// The entries' offsets from now and the reload's.
struct Shape {
    std::vector<double> entryOffsets;
    double reloadOffset;
    bool operator==(const Shape&) const = default;
};

Shape shape(const LimitTimeline& timeline, Timestamp now) {
    Shape result{{}, timeline.reloadAfter - now};
    for (const LimitEntry& entry : timeline.entries) {
        result.entryOffsets.push_back(entry.date - now);
    }
    return result;
}

}  // namespace

TEST(LimitTimelineBuilderTest, EntriesAndReloadDates) {
    const Timestamp now(800000000);
    const struct {
        const char* name;
        std::optional<AgentUsage> usage;
        std::vector<std::int64_t> resetDurations;
        Shape expected;
    } rows[] = {
        {"no snapshot: reload in an hour", std::nullopt, {kFiveHour, kWeekly}, {{0}, 3600}},
        {"fresh data gets a stale entry at update + 1801 s",
         codexAt(now, 600, 10800, 345600),
         {kFiveHour, kWeekly},
         {{0, 1201}, 1800}},
        {"reset in 12 minutes is the reload and an entry; stale time after it adds nothing",
         codexAt(now, 0, 720, 345600),
         {kFiveHour},
         {{0, 720}, 720}},
        {"stale time before a near reset is kept",
         codexAt(now, 1500, 720, 345600),
         {kFiveHour},
         {{0, 301, 720}, 720}},
        {"reset 4 minutes away is no reload, but an entry",
         codexAt(now, 1700, 240, 345600),
         {kFiveHour},
         {{0, 101, 240}, 1800}},
        {"reset exactly 5 minutes away counts",
         codexAt(now, 2400, 300, 345600),
         {kFiveHour},
         {{0, 300}, 300}},
        {"a reset already past is neither",
         codexAt(now, 2400, 0, 345600),
         {kFiveHour},
         {{0}, 1800}},
        {"a window not asked for is no reload date",
         codexAt(now, 2400, 720, 345600),
         {kWeekly},
         {{0}, 1800}},
        {"updated 40 minutes ago: one entry",
         codexAt(now, 2400, 10800, 345600),
         {kFiveHour, kWeekly},
         {{0}, 1800}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const LimitTimeline timeline =
            LimitTimelineBuilder::timeline(row.usage, kWeekly, row.resetDurations, now);
        EXPECT_EQ(shape(timeline, now), row.expected);
        for (const LimitEntry& entry : timeline.entries) {
            EXPECT_EQ(entry.usage, row.usage);
            EXPECT_EQ(entry.durationSeconds, kWeekly);
        }
    }
    // Data that did not change but was read ten minutes ago turns stale 30 minutes after that read.
    const LimitTimeline read = LimitTimelineBuilder::timeline(codexAt(now, 2400, 10800, 345600),
                                                              kWeekly, {kFiveHour}, now, now - 600);
    EXPECT_EQ(shape(read, now), (Shape{{0, 1201}, 1800}));
    EXPECT_EQ(read.entries.back().lastReadAt, now - 600);
}

// What each provider puts in its entries for a configuration, read through the injected loader.
TEST(LimitProviderTest, ChosenUsageDurationAndResets) {
    const Timestamp now(800000000);
    AgentUsage claude = codexAt(now, 0, 1200, 345600);
    claude.provider = AgentProvider::claude();
    const AgentUsageSnapshot stored({codexAt(now, 0, 10800, 900), claude});
    const SnapshotLoader loader = [&stored] { return std::optional(stored); };
    const LegacyLimitProvider legacy(loader);
    const ConfigurableLimitProvider configurable(loader);
    const BothLimitsProvider both(loader);

    const struct {
        const char* name;
        const LimitProvider& provider;
        WidgetConfiguration configuration;
        std::optional<std::string> provides;
        std::optional<std::int64_t> duration;
        double reloadOffset;
    } rows[] = {
        {"fixed: first agent, resets of all its windows", legacy, {}, "codex", std::nullopt, 900},
        {"no agent, no period: first agent, weekly", configurable, {}, "codex", kWeekly, 900},
        {"chosen agent and period",
         configurable,
         {QStringLiteral("claude"), QStringLiteral("fiveHour")},
         "claude",
         kFiveHour,
         1200},
        {"removed agent: no usage, never another's",
         configurable,
         {QStringLiteral("gemini"), {}},
         std::nullopt,
         kWeekly,
         3600},
        {"both limits: resets of both windows",
         both,
         {QStringLiteral("claude"), {}},
         "claude",
         std::nullopt,
         1200},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const LimitTimeline timeline = row.provider.timeline(row.configuration, now);
        const LimitEntry& entry = timeline.entries.front();
        EXPECT_EQ(entry.usage ? std::optional(entry.usage->provider.rawValue) : std::nullopt,
                  row.provides);
        EXPECT_EQ(entry.durationSeconds, row.duration);
        EXPECT_EQ(timeline.reloadAfter - now, row.reloadOffset);
        // A transient display of stored data shows the same usage.
        EXPECT_EQ(row.provider.snapshot(row.configuration, false, now).usage, entry.usage);
    }
}

// The gallery's previews show sample data even when something is stored; timelines never do.
TEST(LimitProviderTest, PreviewsUseSampleData) {
    const Timestamp now(800000000);
    const SnapshotLoader nothing = [] { return std::optional<AgentUsageSnapshot>(); };
    const WidgetConfiguration secondary{QStringLiteral("preview-agent-secondary"), {}};
    // Made for the moment drawn, not for when the process started.
    EXPECT_EQ(LegacyLimitProvider(nothing).snapshot({}, true, now).usage,
              AgentUsage::placeholder(now));
    EXPECT_EQ(BothLimitsProvider(nothing).snapshot(secondary, true, now).usage,
              AgentUsage::secondaryPlaceholder(now));
    EXPECT_FALSE(BothLimitsProvider(nothing).timeline(secondary, now).entries.front().usage);
}
