#include "ui/limit_meter_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QVariantAnimation>

#include "model/test_usages.h"
#include "support/manual_clock.h"
#include "ui/limit_meter_foreground.h"

namespace {

const Timestamp kNow(788918400.0);

// Switches the desktop palette, as a desktop does between light and dark, for one test.
class DesktopScheme {
public:
    explicit DesktopScheme(ColorScheme scheme) : m_saved(QApplication::palette()) {
        QPalette palette = m_saved;
        const bool dark = scheme == ColorScheme::Dark;
        palette.setColor(QPalette::Window, dark ? QColor(30, 30, 30) : QColor(240, 240, 240));
        palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
        QApplication::setPalette(palette);
    }
    ~DesktopScheme() { QApplication::setPalette(m_saved); }

private:
    QPalette m_saved;
};

QImage render(LimitMeterView& view) {
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

// A square card without chrome, so every column reaches the edges.
struct Card {
    ManualClock clock{kNow};
    LimitMeterView view{clock};

    explicit Card(const AgentUsage& usage, std::optional<std::int64_t> duration = 18000) {
        LimitMeterOptions options;
        options.durationSeconds = duration;
        options.drawsChrome = false;
        view.setOptions(options);
        view.setUsage(usage);
        view.setFixedSize(160, 160);
    }
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

TEST(LimitMeterViewTest, FillRisesFromTheBottomWithTheRemainingPercent) {
    struct Case {
        ColorScheme scheme;
        std::int64_t used;
        std::optional<std::int64_t> duration;
        int rows;
    } cases[] = {
        {ColorScheme::Light, 0, 18000, 160}, {ColorScheme::Light, 50, 18000, 80},
        {ColorScheme::Dark, 50, 18000, 80},  {ColorScheme::Light, 100, 18000, 0},
        {ColorScheme::Light, 130, 18000, 0}, {ColorScheme::Light, 75, std::nullopt, 40},
        {ColorScheme::Light, 0, 3600, 0},
    };
    for (const Case& c : cases) {
        DesktopScheme scheme(c.scheme);
        Card card(test::usage("codex", "plus", {test::window(c.used, 18000)}), c.duration);
        const QImage image = render(card.view);
        const QRgb fill = LimitMeterColors::of(c.scheme).fill.rgb();
        EXPECT_EQ(fillRows(image, fill), c.rows) << c.used;
        if (c.rows > 0) {
            EXPECT_EQ(distance(image.pixel(157, 159), fill), 0) << "pinned to the bottom";
        }
    }
}

TEST(LimitMeterViewTest, TextContrastsWithWhatLiesBehindIt) {
    struct Case {
        ColorScheme scheme;
        QColor header;
        QColor resetLine;
    } cases[] = {{ColorScheme::Light, Qt::white, Qt::black},
                 {ColorScheme::Dark, Qt::white, Qt::white}};
    for (const Case& c : cases) {
        DesktopScheme scheme(c.scheme);
        // Half full: the header lies over the base, the reset line over the fill.
        Card card(test::usage("codex", "plus", {test::window(50, 18000, 788918400.0 + 7500)}));
        const QImage image = render(card.view);
        const LimitMeterColors colors = LimitMeterColors::of(c.scheme);
        EXPECT_LE(distance(textPixel(image, 14, 40, colors.base.rgb()), c.header.rgb()), 8);
        EXPECT_LE(distance(textPixel(image, 120, 146, colors.fill.rgb()), c.resetLine.rgb()), 8);
    }
}

TEST(LimitMeterViewTest, AccessibleLabelSaysWindowRemainderAndReset) {
    struct Case {
        AgentUsage usage;
        std::optional<UsageWindow> window;
        QString label;
    } cases[] = {
        {test::usage("codex"), test::window(58, 18000, kNow.secondsSince2001() + 7500),
         QStringLiteral("Codex 5H limit. 42 percent remaining. Resets in 2h 5m.")},
        {test::usage("claude"), test::window(130, 604800, kNow.secondsSince2001() - 1),
         QStringLiteral("Claude 7D limit. Reset, checking the new allowance.")},
        {test::usage("codex"), std::nullopt, QStringLiteral("Codex limit is unavailable.")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LimitMeterForeground::accessibleLabel(c.usage, c.window, kNow), c.label);
    }
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(LimitMeterForeground::percentText(42), QStringLiteral("٤٢"));
    QLocale::setDefault(QLocale::c());
}

TEST(LimitMeterViewTest, WaitsWithoutTheWindowAndFollowsTheClockOnceItArrives) {
    DesktopScheme scheme(ColorScheme::Dark);
    // No plan name, so nothing but the badge is drawn at the header's end.
    Card card(test::usage("codex", "", {test::window(10, 604800)}));
    auto* spinner = card.view.findChild<QTimer*>();
    ASSERT_NE(spinner, nullptr);
    const QRect badge(110, 10, 40, 30);
    const QRgb base = LimitMeterColors::of(ColorScheme::Dark).base.rgb();

    EXPECT_EQ(card.view.accessibleName(), QStringLiteral("Codex limit is unavailable."));
    EXPECT_EQ(textPixel(render(card.view).copy(badge), 0, badge.height(), base), base);
    EXPECT_FALSE(spinner->isActive()) << "not spinning while hidden";
    card.view.show();
    EXPECT_TRUE(spinner->isActive());

    const double reset = kNow.secondsSince2001() + 90000 + 600;
    card.view.setUsage(test::usage("codex", "", {test::window(20, 18000, reset)}));
    EXPECT_FALSE(spinner->isActive());
    EXPECT_NE(textPixel(render(card.view).copy(badge), 0, badge.height(), base), base);
    EXPECT_EQ(card.view.accessibleName(),
              QStringLiteral("Codex 5H limit. 80 percent remaining. Resets in 1d 1h."));
    // The card has no timer of its own: the next paint reads the clock, and once the reset has
    // come the old percentage is not shown as current.
    card.clock.setNow(Timestamp(reset + 1));
    render(card.view);
    EXPECT_EQ(card.view.accessibleName(),
              QStringLiteral("Codex 5H limit. Reset, checking the new allowance."));
    card.view.hide();
    card.view.setUsage(card.view.usage());  // as the views do when the store says so
    EXPECT_DOUBLE_EQ(card.view.displayedFraction(), 0.0);
    card.view.show();
    EXPECT_TRUE(spinner->isActive());
}

TEST(LimitMeterViewTest, FillSpringsToANewValueOnlyWhileShown) {
    Card card(test::usage("codex", "plus", {test::window(0, 18000)}));
    auto* animation = card.view.findChild<QVariantAnimation*>();
    ASSERT_NE(animation, nullptr);
    card.view.show();
    card.view.setUsage(test::usage("codex", "plus", {test::window(100, 18000)}));
    EXPECT_DOUBLE_EQ(card.view.displayedFraction(), 1.0);
    // A spring of 0.8 s response is most of the way after half a second, then settles.
    animation->setCurrentTime(500);
    EXPECT_GT(card.view.displayedFraction(), 0.0);
    EXPECT_LT(card.view.displayedFraction(), 0.1);
    animation->setCurrentTime(animation->duration());
    EXPECT_DOUBLE_EQ(card.view.displayedFraction(), 0.0);

    card.view.hide();
    card.view.setUsage(test::usage("codex", "plus", {test::window(50, 18000)}));
    EXPECT_DOUBLE_EQ(card.view.displayedFraction(), 0.5);
}

}  // namespace
