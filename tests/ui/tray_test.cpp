#include <gtest/gtest.h>

#include <QDBusVariant>
#include <QPainter>

#include "model/test_usages.h"
#include "support/manual_clock.h"
#include "ui/color_scheme_portal.h"
#include "ui/tray_fallback.h"
#include "ui/tray_icon_appearance.h"
#include "ui/tray_icon_renderer.h"

namespace {

using namespace TrayIconAppearance;

TEST(TrayIconAppearanceTest, EachDrawingReadsOnEveryPanel) {
    // Per capsule, half full: its outline, fill's end, fill's inside and the outline beside that.
    const AgentUsage shown = test::usage("codex", "",
                                         {test::window(50, UsageWindow::kFiveHourSeconds),
                                          test::window(50, UsageWindow::kWeeklySeconds)});
    const std::array<QPointF, 4> capsules[] = {{{{12, 3.5}, {8.5, 5}, {6.5, 5}, {6.5, 3.5}}},
                                               {{{12, 8.5}, {8.5, 11.5}, {6.5, 11.5}, {6.5, 8.5}}}};
    for (const QRgb panel : {0x000000u, 0x1d1d1du, 0x2b303bu, 0xddddddu, 0xffffffu}) {
        // The drawing a tray of this colour gets by saying its text colour.
        const Drawing suited =
            drawingFor(Setting::Automatic,
                       {.trayForeground = relativeLuminance(panel) < 0.5 ? Qt::white : Qt::black});
        // Sizes panels ask for, whole and fractional multiples of 18.
        for (const auto& [drawing, side] : {std::pair(Drawing::Light, 16),
                                            {Drawing::Light, 18},
                                            {Drawing::Light, 22},
                                            {Drawing::Light, 36},
                                            {Drawing::Dark, 16},
                                            {Drawing::Dark, 18},
                                            {Drawing::Dark, 22},
                                            {Drawing::Dark, 36}}) {
            QImage image(side, side, QImage::Format_RGB32);
            image.fill(panel);
            QPainter painter(&image);
            TrayIconRenderer::image(shown, colors(drawing), Timestamp(788918400))
                .paint(&painter, image.rect());
            painter.end();
            const auto at = [&](QPointF point) {
                return QColor(image.pixel(int(point.x() * side / 18), int(point.y() * side / 18)));
            };
            for (const auto& [outline, fillEnd, fillInside, edgeBesideFill] : capsules) {
                SCOPED_TRACE(testing::Message()
                             << std::hex << panel << std::dec << " drawing " << int(drawing)
                             << " at " << side << " y " << outline.y());
                EXPECT_GE(contrastRatio(at(outline), panel), 3);
                EXPECT_GE(contrastRatio(at(fillEnd), panel), 3);
                EXPECT_GE(contrastRatio(at(fillInside), at(edgeBesideFill)), 3);
                EXPECT_GE(contrastRatio(at(fillInside), panel), drawing == suited ? 3 : 1);
            }
        }
    }
}

TEST(TrayIconAppearanceTest, AutomaticFollowsTheTrayThenThePortal) {
    const QColor lightText(0xee, 0xee, 0xee), darkText(0x20, 0x20, 0x20);
    constexpr auto light = ColorSchemePreference::Light, dark = ColorSchemePreference::Dark;
    using Row = std::tuple<Setting, DesktopHints, Drawing>;
    for (const auto& [setting, hints, drawing] : {
             Row{Setting::Automatic, {}, Drawing::Light},
             Row{Setting::Automatic, {.colorScheme = light}, Drawing::Dark},
             Row{Setting::Automatic, {.colorScheme = dark}, Drawing::Light},
             Row{Setting::Automatic,
                 {.trayForeground = darkText, .colorScheme = dark},
                 Drawing::Dark},
             Row{Setting::Automatic,
                 {.trayForeground = lightText, .colorScheme = light},
                 Drawing::Light},
             Row{Setting::Light, {.trayForeground = darkText}, Drawing::Light},
             Row{Setting::Dark, {}, Drawing::Dark},
         }) {
        EXPECT_EQ(drawingFor(setting, hints), drawing) << int(setting);
    }
}

TEST(ColorSchemePortalTest, UnwrapsTheValueAndRefusesOthers) {
    const auto wrap = [](const QVariant& value) {
        return QVariant::fromValue(QDBusVariant(value));
    };
    EXPECT_EQ(ColorSchemePortal::decode(QVariant(1u)), ColorSchemePreference::Dark);
    EXPECT_EQ(ColorSchemePortal::decode(wrap(wrap(2u))), ColorSchemePreference::Light);
    for (const QVariant& other : {wrap(7u), wrap(1), wrap(wrap(wrap(1u)))}) {
        EXPECT_EQ(ColorSchemePortal::decode(other), ColorSchemePreference::None);
    }
}

TEST(TrayFallbackTest, TheWindowShowsUnlessATrayComesInTime) {
    // Tray and window times (none: never), then notices and quits after closing the window twice.
    using Row =
        std::tuple<const char*, bool, bool, std::optional<double>, std::optional<double>, int, int>;
    for (const auto& [name, inBackground, reachableAgain, trayAfter, windowAfter, notices, quits] :
         {
             Row{"by hand, no tray", false, true, {}, 0, 1, 0},
             Row{"at login, a tray at once", true, true, 0, {}, 0, 0},
             Row{"at login, a tray after 9 s", true, true, 9, {}, 0, 0},
             Row{"at login, no tray in time", true, true, 11, 10, 0, 0},
             Row{"at login, no tray, unreachable", true, false, {}, 10, 0, 2},
         }) {
        SCOPED_TRACE(name);
        ManualClock clock;
        TrayFallback fallback(clock, inBackground, reachableAgain);
        std::optional<double> shownAfter;
        int noticed = 0, quit = 0;
        QObject::connect(&fallback, &TrayFallback::showWindowRequested,
                         [&] { shownAfter = clock.monotonicNow(); });
        QObject::connect(&fallback, &TrayFallback::stillRunningNoticeRequested, [&] { ++noticed; });
        QObject::connect(&fallback, &TrayFallback::quitRequested, [&] { ++quit; });
        if (trayAfter == 0) {
            fallback.trayAppeared();
        }
        fallback.start();
        if (trayAfter > 0) {
            clock.advance(*trayAfter);
            fallback.trayAppeared();
        }
        clock.advance(60);
        EXPECT_EQ(shownAfter, windowAfter);
        fallback.windowClosed();
        fallback.windowClosed();
        EXPECT_EQ(std::pair(noticed, quit), std::pair(notices, quits));
    }
}

}  // namespace
