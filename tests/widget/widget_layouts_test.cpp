#include "widget/widget_layouts.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLocale>
#include <QPainter>

#include "model/test_usages.h"

namespace {

const Timestamp kReference(800000000);

// Codex, plan "plus", updated 31 minutes before kReference, with the given windows.
AgentUsage codex(std::vector<UsageWindow> windows) {
    AgentUsage usage = test::usage("codex", "plus", std::move(windows));
    usage.updatedAt = kReference - 1860;
    return usage;
}

UsageWindow windowResetting(std::int64_t used, std::int64_t duration, double after) {
    return test::window(used, duration, (kReference + after).secondsSince2001());
}

QImage render(const QSizeF& size, WidgetView view, WidgetFamily family, const LimitEntry& entry,
              const WidgetRenderOptions& options = {}) {
    QImage image(size.toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawWidget(&painter, QRectF(QPointF(), size), view, family, entry, options, kReference);
    return image;
}

enum class Paint { Background, Track, Fill };

// Light style over white: the fill is black, the track a light grey.
Paint paintAt(const QImage& image, int x, int y) {
    const int gray = qGray(image.pixel(x, y));
    return gray < 60 ? Paint::Fill : gray < 240 ? Paint::Track : Paint::Background;
}

// Whether some row between x0 and x1 is covered from end to end, as only a bar track is.
bool hasBarRow(const QImage& image, int x0, int x1) {
    for (int y = 0; y < image.height(); ++y) {
        bool covered = true;
        for (int x = x0; x < x1 && covered; ++x) {
            covered = paintAt(image, x, y) != Paint::Background;
        }
        if (covered) {
            return true;
        }
    }
    return false;
}

}  // namespace

// A remainder above zero is at least a dot as wide as the bar is high; zero leaves the track.
TEST(UsageProgressTest, FillWidthAtChosenPixels) {
    const struct {
        std::int64_t percent;
        std::vector<std::pair<int, Paint>> pixels;
    } rows[] = {
        {1, {{3, Paint::Fill}, {8, Paint::Track}}},
        {0, {{3, Paint::Track}, {96, Paint::Track}}},
        {50, {{47, Paint::Fill}, {53, Paint::Track}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.percent);
        QImage image(100, 6, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        WidgetCanvas canvas(&painter, WidgetStyle::forAppearance(false));
        drawUsageProgress(canvas, QRectF(0, 0, 100, 6), QStringLiteral("Codex"), row.percent);
        painter.end();
        for (const auto& [x, paint] : row.pixels) {
            EXPECT_EQ(paintAt(image, x, 3), paint) << "x = " << x;
        }
    }
}

TEST(MediumUsageDetailsTest, UpdatedIsStaleAfterHalfAnHourOfTheEntryDate) {
    const Timestamp updated(800000000);
    const struct {
        double referenceAfter;
        double drawingAfter;
        const char* expected;
    } rows[] = {
        {29 * 60, 29 * 60, "29 minutes ago"},
        {31 * 60, 31 * 60, "Stale"},
        {60, 61, "1 minute ago"},
        // Relative to the drawing time, not to the entry's date.
        {600, 2 * 3600 + 5, "2 hours ago"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(updatedText(updated, updated + row.referenceAfter, updated + row.drawingAfter),
                  QString::fromUtf8(row.expected));
    }
}

// What each view shows, read through its accessibility labels.
TEST(WidgetLayoutsTest, ComposedAccessibleTexts) {
    const AgentUsage fiveHourOnly = codex({windowResetting(42, 18000, 7500)});
    const AgentUsage weeklyOnly = codex({windowResetting(10, 604800, 259200)});
    const auto entry = [](std::optional<AgentUsage> usage, std::optional<std::int64_t> duration) {
        return LimitEntry{.date = kReference, .usage = usage, .durationSeconds = duration};
    };
    const struct {
        const char* name;
        WidgetView view;
        WidgetFamily family;
        LimitEntry entry;
        QStringList expected;
    } rows[] = {
        {"small without usage",
         WidgetView::Limit,
         WidgetFamily::Small,
         entry(std::nullopt, std::nullopt),
         {QStringLiteral("Open Quotamind, Connect your computer to show usage")}},
        {"both limits without usage: the medium state",
         WidgetView::BothLimits,
         WidgetFamily::Small,
         entry(std::nullopt, std::nullopt),
         {QStringLiteral("Open Quotamind, Connect or sync usage from your computer.")}},
        {"weekly period, 5-hour window only",
         WidgetView::Limit,
         WidgetFamily::Medium,
         entry(fiveHourOnly, 604800),
         {QStringLiteral("Codex 7D limit is not available")}},
        {"usage without windows draws nothing",
         WidgetView::Limit,
         WidgetFamily::Small,
         entry(codex({}), std::nullopt),
         {}},
        {"medium card with the stale row",
         WidgetView::Limit,
         WidgetFamily::Medium,
         entry(fiveHourOnly, std::nullopt),
         {QStringLiteral("Codex 5H limit"), QStringLiteral("58 percent remaining"),
          QStringLiteral("Plan, Plus, Source, This computer, Updated, Stale"),
          QStringLiteral("Codex allowance remaining, 58 percent"),
          QStringLiteral("Resets in 2h 5m")}},
        {"past its reset, read a minute ago",
         WidgetView::Limit,
         WidgetFamily::Medium,
         {.date = kReference,
          .usage = codex({windowResetting(42, 18000, 0)}),
          .durationSeconds = std::nullopt,
          .lastReadAt = kReference - 60},
         {QStringLiteral("Codex 5H limit"), QStringLiteral("Reset"),
          QStringLiteral("Plan, Plus, Source, This computer, Updated, 1 minute ago"),
          QStringLiteral("Codex allowance remaining, being checked"), QStringLiteral("Checking…")}},
        {"both limits, weekly only: left unavailable, right card",
         WidgetView::BothLimits,
         WidgetFamily::Medium,
         entry(weeklyOnly, std::nullopt),
         {QStringLiteral("Codex 5H limit is not available"), QStringLiteral("Codex 7D limit"),
          QStringLiteral("90 percent remaining"),
          QStringLiteral("Codex allowance remaining, 90 percent"),
          QStringLiteral("Resets in 3d 0h")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(drawWidget(nullptr, QRectF(0, 0, 364, 170), row.view, row.family, row.entry, {},
                             kReference),
                  row.expected);
    }
}

TEST(WidgetLayoutsTest, PercentInTheLocaleDigits) {
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    const QStringList texts = drawWidget(
        nullptr, QRectF(0, 0, 170, 170), WidgetView::Limit, WidgetFamily::Small,
        {kReference, codex({windowResetting(42, 18000, 60)}), std::nullopt}, {}, kReference);
    QLocale::setDefault(QLocale::c());
    EXPECT_TRUE(texts.contains(QStringLiteral("\u0665\u0668 percent remaining")))
        << texts.join(u'|').toStdString();
}

// Only the right half of a both-limits widget for a weekly-only usage draws a bar.
TEST(WidgetLayoutsTest, BothLimitsHalvesAtChosenPixels) {
    const QImage image =
        render({364, 170}, WidgetView::BothLimits, WidgetFamily::Medium,
               {kReference, codex({windowResetting(10, 604800, 259200)}), std::nullopt});
    EXPECT_FALSE(hasBarRow(image, 20, 168));
    EXPECT_TRUE(hasBarRow(image, 196, 344));
}

// The card is drawn only when the host keeps the background, in the appearance's colour.
TEST(WidgetLayoutsTest, RemovableBackgroundAndAppearance) {
    const struct {
        WidgetRenderOptions options;
        QRgb edge;
    } rows[] = {
        {{.dark = false, .showsBackground = true}, qRgb(255, 255, 255)},
        {{.dark = true, .showsBackground = true}, qRgb(30, 30, 32)},
        {{.dark = true, .showsBackground = false}, qRgba(0, 0, 0, 0)},
    };
    for (const auto& row : rows) {
        const QImage image = render({170, 170}, WidgetView::Limit, WidgetFamily::Small,
                                    {kReference, std::nullopt, std::nullopt}, row.options);
        EXPECT_EQ(image.pixel(3, 85), row.edge);
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);  // the rounded corner
    }
}
