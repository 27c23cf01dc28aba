#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QVariantAnimation>

#include "support/manual_clock.h"
#include "support/usage_builder.h"
#include "symbols/symbols.h"
#include "ui/common/limit_meter_view.h"
#include "window_test_support.h"

using namespace Qt::StringLiterals;

namespace {

const Timestamp kNow(788918400.0);

// Sets the desktop colours of `scheme`, as a desktop does between light and dark; gives the old.
QPalette switchTo(ColorScheme scheme) {
    const QPalette saved = QApplication::palette();
    QApplication::setPalette(scheme == ColorScheme::Dark ? test::darkPalette() : saved);
    return saved;
}

// A square card without chrome, so every column reaches the edges, in the colours of `scheme`.
struct Card {
    explicit Card(const AgentUsage& usage, ColorScheme scheme = ColorScheme::Light,
                  std::optional<std::int64_t> duration = 18000)
        : saved(switchTo(scheme)) {
        view.setOptions({.durationSeconds = duration, .drawsChrome = false});
        view.setUsage(usage);
        view.setFixedSize(160, 160);
    }
    ~Card() { QApplication::setPalette(saved); }
    Q_DISABLE_COPY_MOVE(Card)

    QImage render() {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view.render(&image, {}, {}, QWidget::DrawChildren);
        return image;
    }

    QPalette saved;
    ManualClock clock{kNow};
    LimitMeterView view{clock};
};

int distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// The pixel of the band that differs most from `background`: inside a glyph, where text is.
QRgb textPixel(const QImage& image, int top, int bottom, QRgb background) {
    QRgb found = background;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (distance(image.pixel(x, y), background) > distance(found, background)) {
                found = image.pixel(x, y);
            }
        }
    }
    return found;
}

int fillRows(const QImage& image, QRgb fill) {
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        rows += distance(image.pixel(image.width() - 3, y), fill) <= 2 ? 1 : 0;
    }
    return rows;
}

// Each row: the colours, the use, the card's window (none: the preferred one) and the rows of
// the fill, which rises from the bottom with the remaining percent under readable text.
TEST(LimitMeterViewTest, TheFillRisesFromTheBottomUnderReadableText) {
    const std::tuple<ColorScheme, std::int64_t, std::optional<std::int64_t>, int> rows[] = {
        {ColorScheme::Light, 0, 18000, 160}, {ColorScheme::Light, 50, 18000, 80},
        {ColorScheme::Dark, 50, 18000, 80},  {ColorScheme::Light, 100, 18000, 0},
        {ColorScheme::Light, 75, {}, 40},    {ColorScheme::Light, 0, 3600, 0},  // not read
    };
    for (const auto& [scheme, used, duration, filled] : rows) {
        SCOPED_TRACE(testing::Message()
                     << used << "% used, dark " << (scheme == ColorScheme::Dark));
        Card card(test::usage("codex", {test::fiveHour(used)}), scheme, duration);
        const QImage image = card.render();
        const QRgb fill = LimitMeterColors::of(scheme).fill.rgb();
        EXPECT_EQ(fillRows(image, fill), filled);
        if (filled > 0) {
            EXPECT_EQ(distance(image.pixel(157, 159), fill), 0) << "pinned to the bottom";
        }
        if (used == 50) {  // the header over the base in white, the reset line over the fill
            const QColor resetLine = scheme == ColorScheme::Dark ? Qt::white : Qt::black;
            const QRgb base = LimitMeterColors::of(scheme).base.rgb();
            EXPECT_LE(distance(textPixel(image, 14, 40, base), qRgb(255, 255, 255)), 8);
            EXPECT_LE(distance(textPixel(image, 120, 146, fill), resetLine.rgb()), 8);
        }
    }
}

TEST(LimitMeterViewTest, WaitsWithoutTheWindowAndFollowsTheClockOnceItArrives) {
    // No plan name, so nothing but the badge is drawn at the header's end.
    AgentUsage weekly = test::usage("codex", {test::weekly(10)});
    weekly.planType.clear();
    Card card(weekly, ColorScheme::Dark);
    auto* spinner = card.view.findChild<QTimer*>();
    ASSERT_NE(spinner, nullptr);
    const QRect badge(110, 10, 40, 30);
    const QRgb base = LimitMeterColors::of(ColorScheme::Dark).base.rgb();

    EXPECT_EQ(card.view.accessibleName(), u"Codex limit is unavailable."_s);
    EXPECT_EQ(textPixel(card.render().copy(badge), 0, badge.height(), base), base);
    EXPECT_FALSE(spinner->isActive()) << "not spinning while hidden";
    card.view.show();
    EXPECT_TRUE(spinner->isActive());

    const Timestamp reset = kNow + 90000 + 600;
    weekly.windows = {test::fiveHour(20, reset)};
    card.view.setUsage(weekly);
    EXPECT_FALSE(spinner->isActive());
    // While shown, the fill springs to the new value; while hidden (below) it takes it at once.
    auto* spring = card.view.findChild<QVariantAnimation*>();
    ASSERT_TRUE(spring && spring->state() == QAbstractAnimation::Running);
    spring->setCurrentTime(spring->duration());
    EXPECT_DOUBLE_EQ(card.view.displayedFraction(), 0.8);
    EXPECT_NE(textPixel(card.render().copy(badge), 0, badge.height(), base), base);
    EXPECT_EQ(card.view.accessibleName(),
              u"Codex 5H limit. 80 percent remaining. Resets in 1d 1h."_s);
    // The card has no timer of its own: the next paint reads the clock, and once the reset has
    // come the old percentage is not shown as current.
    card.clock.setNow(reset + 1);
    card.render();
    EXPECT_EQ(card.view.accessibleName(), u"Codex 5H limit. Reset, checking the new allowance."_s);
    card.view.hide();
    card.view.setUsage(card.view.usage());  // as the views do when the store says so
    EXPECT_DOUBLE_EQ(card.view.displayedFraction(), 0.0);
    card.view.show();
    EXPECT_TRUE(spinner->isActive());
}

int paintedPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        }
    }
    return count;
}

// The views name their symbols by text: a name without a glyph draws nothing. At a ratio of 2 a
// glyph fills 36 device pixels, not 18 scaled up.
TEST(SymbolsTest, EveryGlyphIsDrawnAtItsPixelSizeAndAnUnknownNameDrawsNothing) {
    for (const QString& name : Symbols::names()) {
        const QImage image = Symbols::image(name, {36, 36}, 2.0, Qt::black);
        EXPECT_EQ(image.deviceIndependentSize(), QSizeF(18, 18)) << name.toStdString();
        EXPECT_GT(paintedPixels(image), 90) << name.toStdString();
    }
    EXPECT_GT(
        paintedPixels(Symbols::image(u"power", {36, 36}, 2.0, Qt::black).copy(18, 18, 18, 18)), 20);
    EXPECT_GT(paintedPixels(Symbols::icon(u"power", Qt::black).pixmap(QSize(64, 64)).toImage()),
              400);
    EXPECT_FALSE(Symbols::contains(u"terminal.fil"));
    EXPECT_EQ(paintedPixels(Symbols::image(u"terminal.fil", {24, 24}, 1.0, Qt::black)), 0);
    EXPECT_TRUE(Symbols::icon(u"terminal.fil", Qt::black).isNull());
}

}  // namespace
