#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "support/usage_builder.h"
#include "widget/limit_providers.h"
#include "widget/limit_timeline_builder.h"
#include "widget/widget_layouts.h"

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
                          const std::optional<std::string>& provides,
                          std::optional<std::int64_t> duration, double reloadOffset) {
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

// Codex updated 31 minutes before kNow, with the given windows.
AgentUsage codex(std::vector<UsageWindow> windows) {
    return test::usage("codex", std::move(windows), kNow - 1860);
}

enum class Paint { Background, Track, Fill };

// Light style over white: the fill is black, the track a light grey.
Paint paintAt(const QImage& image, int x, int y) {
    const int gray = qGray(image.pixel(x, y));
    return gray < 60 ? Paint::Fill : gray < 240 ? Paint::Track : Paint::Background;
}

// A remainder above zero is at least a dot as wide as the bar is high; zero leaves the track.
TEST(UsageProgressTest, FillWidthAtChosenPixels) {
    for (const auto& [percent, pixels] :
         std::vector<std::pair<int, std::vector<std::pair<int, Paint>>>>{
             {1, {{3, Paint::Fill}, {8, Paint::Track}}},
             {0, {{3, Paint::Track}, {96, Paint::Track}}},
             {50, {{47, Paint::Fill}, {53, Paint::Track}}}}) {
        QImage image(100, 6, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        WidgetCanvas canvas(&painter, WidgetStyle::forAppearance(false));
        drawUsageProgress(canvas, QRectF(0, 0, 100, 6), u"Codex"_s, percent);
        painter.end();
        for (const auto& [x, paint] : pixels) {
            EXPECT_EQ(paintAt(image, x, 3), paint) << percent << "% at x = " << x;
        }
    }
}

TEST(MediumUsageDetailsTest, UpdatedIsStaleAfterHalfAnHourOfTheEntryDate) {
    const Timestamp updated(800000000);
    EXPECT_EQ(updatedText(updated, updated + 29 * 60, updated + 29 * 60), u"29 minutes ago"_s);
    EXPECT_EQ(updatedText(updated, updated + 31 * 60, updated + 31 * 60), u"Stale"_s);
    // Counted to the drawing time, not to the entry's date.
    EXPECT_EQ(updatedText(updated, updated + 600, updated + 2 * 3600 + 5), u"2 hours ago"_s);
}

LimitEntry entry(std::optional<AgentUsage> usage, std::optional<std::int64_t> duration = {},
                 std::optional<Timestamp> lastReadAt = {}) {
    return {.date = kNow,
            .usage = std::move(usage),
            .durationSeconds = duration,
            .lastReadAt = lastReadAt};
}

// Each row: the view, its size, the entry, and texts among its accessibility labels (none: it
// draws nothing).
TEST(WidgetTextsTest, WhatEachViewShows) {
    const AgentUsage fiveHourOnly = codex({test::fiveHour(42, kNow + 7500)});
    LimitEntry withForecast = entry(fiveHourOnly);
    withForecast.forecasts = {{{{"codex", 18000}, {kNow + 4800, kNow + 7500}}}};
    const std::tuple<WidgetView, WidgetFamily, LimitEntry, QStringList> rows[] = {
        // A weekly period where only the 5-hour window is read.
        {WidgetView::Limit,
         WidgetFamily::Medium,
         entry(fiveHourOnly, 604800),
         {u"Codex 7D limit is not available"_s}},
        {WidgetView::Limit, WidgetFamily::Small, entry(codex({})), {}},
        {WidgetView::Limit,
         WidgetFamily::Medium,
         entry(fiveHourOnly),
         {u"58 percent remaining"_s, u"Plan, Plus, Source, This computer, Updated, Stale"_s,
          u"Resets in 2h 5m"_s}},
        {WidgetView::Limit,
         WidgetFamily::Medium,
         withForecast,
         {u"At this pace: limit reached in 1h 20m, 45m before the reset"_s}},
        // Past its reset, read a minute ago.
        {WidgetView::Limit,
         WidgetFamily::Medium,
         entry(codex({test::fiveHour(42, kNow)}), {}, kNow - 60),
         {u"Plan, Plus, Source, This computer, Updated, 1 minute ago"_s,
          u"Codex allowance remaining, being checked"_s}},
        {WidgetView::BothLimits,
         WidgetFamily::Medium,
         entry(codex({test::weekly(10, kNow + 259200)})),
         {u"Codex 5H limit is not available"_s, u"90 percent remaining"_s}},
    };
    for (const auto& [view, family, shown, texts] : rows) {
        const QStringList drawn =
            drawWidget(nullptr, QRectF(0, 0, 364, 170), view, family, shown, {}, kNow);
        EXPECT_EQ(drawn.isEmpty(), texts.isEmpty()) << drawn.join(u'|').toStdString();
        for (const QString& text : texts) {
            EXPECT_TRUE(drawn.contains(text))
                << text.toStdString() << " in " << drawn.join(u'|').toStdString();
        }
    }
}

// The documentation's examples at scale 2 (docs/widgets, written where QUOTAMIND_SCREENSHOT_DIR
// says): the card in the appearance's colour with rounded corners, none where the host removes
// the background.
TEST(WidgetLayoutsTest, DocumentationExamples) {
    const Timestamp now = Timestamp::fromUnixSeconds(1767268800);  // 2026-01-01 12:00 UTC
    const AgentUsage weekly = test::usage("codex", {test::weekly(58, now + 280000)}, now - 300);
    AgentUsage both = weekly;
    both.windows.insert(both.windows.begin(), test::fiveHour(37, now + 7500));
    const QString folder = qEnvironmentVariable("QUOTAMIND_SCREENSHOT_DIR");
    for (const auto& [name, view, family, usage, duration] :
         std::vector<std::tuple<const char*, WidgetView, WidgetFamily, std::optional<AgentUsage>,
                                std::optional<std::int64_t>>>{
             {"small", WidgetView::Limit, WidgetFamily::Small, both, UsageWindow::kFiveHourSeconds},
             {"medium", WidgetView::Limit, WidgetFamily::Medium, both, {}},
             {"both-limits", WidgetView::BothLimits, WidgetFamily::Medium, both, {}},
             {"both-limits-weekly-only", WidgetView::BothLimits, WidgetFamily::Medium, weekly, {}},
             {"unavailable-small", WidgetView::Limit, WidgetFamily::Small, {}, {}},
             {"unavailable-medium", WidgetView::Limit, WidgetFamily::Medium, {}, {}}}) {
        for (const WidgetRenderOptions options : {WidgetRenderOptions{.dark = false},
                                                  {.dark = true},
                                                  {.dark = true, .showsBackground = false}}) {
            const QSizeF size = widgetFamilySize(family);
            QImage image((size * 2).toSize(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            painter.scale(2, 2);
            LimitEntry shown{now, usage, duration};
            if (family == WidgetFamily::Medium && view == WidgetView::Limit && usage) {
                shown.forecasts = {{{{"codex", 604800}, {now + 200000, now + 280000}}}};
            }
            drawWidget(&painter, QRectF(QPointF(), size), view, family, shown, options, now);
            painter.end();
            const std::string file = name + std::string(options.dark ? "-dark.png" : "-light.png");
            const QRgb card = options.dark ? qRgb(30, 30, 32) : qRgb(255, 255, 255);
            EXPECT_EQ(image.pixel(6, image.height() / 2), options.showsBackground ? card : 0)
                << file;
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << file;
            if (!folder.isEmpty() && options.showsBackground) {
                image.save(folder + u'/' + QString::fromStdString(file));
            }
        }
    }
}

}  // namespace
