#include <gtest/gtest.h>

#include <QCursor>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>

#include "store/phone_fakes.h"
#include "store/store_fixture.h"
#include "support/manual_clock.h"
#include "support/usage_builder.h"
#include "ui/tray/color_scheme_portal.h"
#include "ui/tray/tray_agent_meters.h"
#include "ui/tray/tray_controller.h"
#include "ui/tray/tray_fallback.h"
#include "ui/tray/tray_icon_appearance.h"
#include "ui/tray/tray_icon_renderer.h"
#include "ui/tray/tray_icon_settings.h"
#include "ui/tray/tray_popup.h"
#include "ui/tray/tray_popup_button.h"
#include "ui/tray/tray_popup_placement.h"

using namespace Qt::StringLiterals;

namespace {

using namespace TrayIconAppearance;
using test::usage;

// What the icon shows at a point of its 18-point square (y down): nothing, the 20 % track, or the
// full-opacity fill.
enum class Ink { None, Track, Fill, Other };

Ink inkAt(const QImage& icon, double x, double y) {
    const int alpha = qAlpha(icon.pixel(int(x * icon.width() / 18), int(y * icon.width() / 18)));
    return alpha < 10 ? Ink::None : alpha < 100 ? Ink::Track : alpha > 240 ? Ink::Fill : Ink::Other;
}

constexpr Timestamp kNow(788918400);  // the manual clock's start

// A thin 5-hour capsule (y 5) above a thick weekly one (y 11.5), 20 % and 80 % left, or one
// across the middle, or an empty one; each probed at points of its 18-point square (y down) where
// it is filled and where not. Past its reset, no fill until the new allowance is read.
TEST(TrayIconRendererTest, DrawsEachWindowsRemainderInItsCapsule) {
    const std::pair<std::optional<AgentUsage>, std::vector<std::tuple<double, double, Ink>>>
        rows[] = {
            {usage("codex", {test::fiveHour(80), test::weekly(20)}),
             {{3, 5, Ink::Fill},
              {9, 5, Ink::Track},
              {9, 7.6, Ink::None},
              {9, 11.5, Ink::Fill},
              {14.5, 11.5, Ink::Track},
              {9, 16, Ink::None}}},
            {usage("claude", {test::weekly(50)}),
             {{9, 3, Ink::None}, {4, 9, Ink::Fill}, {14, 9, Ink::Track}, {9, 14, Ink::None}}},
            {std::nullopt, {{4, 9, Ink::Track}, {9, 3, Ink::None}}},
            {usage("codex", {test::weekly(0, kNow)}), {{4, 9, Ink::Track}}},
        };
    for (const auto& [shown, probes] : rows) {
        for (const qreal ratio : {1.0, 2.0}) {
            const QImage image = TrayIconRenderer::image(shown, colors(Drawing::Dark), kNow)
                                     .pixmap(QSize(18, 18), ratio)
                                     .toImage();
            ASSERT_EQ(image.width(), int(18 * ratio));
            for (const auto& [x, y, ink] : probes) {
                EXPECT_EQ(inkAt(image, x, y), ink) << x << "," << y << " at " << ratio;
            }
        }
    }
}

// Per capsule, half full: its outline, its fill's end, the fill's inside and the outline beside it.
TEST(TrayIconContrastTest, EachDrawingReadsOnThePanelAtEverySize) {
    const AgentUsage shown = usage("codex", {test::fiveHour(50), test::weekly(50)});
    const std::array<QPointF, 4> capsules[] = {{{{12, 3.5}, {8.5, 5}, {6.5, 5}, {6.5, 3.5}}},
                                               {{{12, 8.5}, {8.5, 11.5}, {6.5, 11.5}, {6.5, 8.5}}}};
    for (const QRgb panel : {0x000000u, 0x1d1d1du, 0x2b303bu, 0xddddddu, 0xffffffu}) {
        // The drawing a tray of this colour gets by saying its text colour.
        const Drawing suited =
            drawingFor(Setting::Automatic,
                       {.trayForeground = relativeLuminance(panel) < 0.5 ? Qt::white : Qt::black});
        for (const Drawing drawing : {Drawing::Light, Drawing::Dark}) {
            for (const int side : {16, 18, 22, 36}) {  // whole and fractional multiples of 18
                QImage image(side, side, QImage::Format_RGB32);
                image.fill(panel);
                QPainter painter(&image);
                TrayIconRenderer::image(shown, colors(drawing), kNow).paint(&painter, image.rect());
                painter.end();
                const auto at = [&](QPointF point) {
                    return QColor(
                        image.pixel(int(point.x() * side / 18), int(point.y() * side / 18)));
                };
                for (const auto& [outline, fillEnd, fillInside, edgeBesideFill] : capsules) {
                    SCOPED_TRACE(testing::Message()
                                 << std::hex << panel << " drawing " << int(drawing) << " side "
                                 << side << " y " << outline.y());
                    EXPECT_GE(contrastRatio(at(outline), panel), 3);
                    EXPECT_GE(contrastRatio(at(fillEnd), panel), 3);
                    EXPECT_GE(contrastRatio(at(fillInside), at(edgeBesideFill)), 3);
                    EXPECT_GE(contrastRatio(at(fillInside), panel), drawing == suited ? 3 : 1);
                }
            }
        }
    }
}

TEST(TrayIconAppearanceTest, AutomaticFollowsTheTrayThenThePortal) {
    const QColor lightText(0xee, 0xee, 0xee), darkText(0x20, 0x20, 0x20);
    constexpr auto light = ColorSchemePreference::Light, dark = ColorSchemePreference::Dark;
    EXPECT_EQ(drawingFor(Setting::Automatic, {}), Drawing::Light);
    EXPECT_EQ(drawingFor(Setting::Automatic, {.colorScheme = light}), Drawing::Dark);
    EXPECT_EQ(drawingFor(Setting::Automatic, {.colorScheme = dark}), Drawing::Light);
    EXPECT_EQ(drawingFor(Setting::Automatic, {.trayForeground = darkText, .colorScheme = dark}),
              Drawing::Dark);
    EXPECT_EQ(drawingFor(Setting::Automatic, {.trayForeground = lightText, .colorScheme = light}),
              Drawing::Light);
    EXPECT_EQ(drawingFor(Setting::Light, {.trayForeground = darkText}), Drawing::Light);
    EXPECT_EQ(drawingFor(Setting::Dark, {}), Drawing::Dark);
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

TEST(TrayIconSettingsTest, TheChosenAgentOrElseTheFirst) {
    QTemporaryDir folder;
    Preferences preferences(folder.filePath(u"Quotamind.conf"_s));
    const auto shown = [&](const std::vector<AgentUsage>& usages, const char* preferred) {
        preferences.setString(TrayIconSettings::kProviderKey, QString::fromLatin1(preferred));
        const auto found = TrayIconSettings::resolvedUsage(AgentUsageSnapshot(usages), preferences);
        return found ? found->provider.rawValue : "none";
    };
    const AgentUsage codex = usage("codex"), claude = usage("claude");
    EXPECT_EQ(shown({}, "claude"), "none");
    EXPECT_EQ(shown({codex, claude}, ""), "codex");
    EXPECT_EQ(shown({codex, claude}, "claude"), "claude");
    EXPECT_EQ(shown({codex, claude}, "gemini"), "codex");
    EXPECT_EQ(shown({claude}, "codex"), "claude");
}

TEST(TrayStatusTitleTest, NamesTheWeeklyOrElseTheLongestWindow) {
    const auto title = [](std::vector<UsageWindow> windows) {
        return TrayController::statusTitle(usage("codex", std::move(windows)), kNow);
    };
    EXPECT_EQ(title({test::fiveHour(42), test::weekly(20)}),
              u"Codex: 58% remaining for 5 hours, 80% remaining for the week"_s);
    EXPECT_EQ(title({test::fiveHour(30, kNow)}), u"Codex: 5H limit reset, checking…"_s);
    EXPECT_EQ(title({}), TrayController::statusTitle(std::nullopt, kNow));
}

TEST(TrayPopupPlacementTest, HangsBelowOrAboveTheAnchorInsideTheScreen) {
    const QRect screen(0, 0, 1024, 640);
    const auto at = [&](QRect anchor, QRect available) {
        return TrayPopupPlacement::topLeft(QSize(358, 400), anchor, available);
    };
    EXPECT_EQ(at({500, 0, 22, 22}, screen), QPoint(331, 26));           // top panel, centred below
    EXPECT_EQ(at({1000, 0, 22, 22}, screen), QPoint(666, 26));          // at the right edge
    EXPECT_EQ(at({1000, 618, 22, 22}, screen), QPoint(666, 214));       // bottom panel: above
    EXPECT_EQ(at({10, 300, 1, 1}, {0, 24, 1024, 420}), QPoint(0, 24));  // fits neither way
}

// Each row: started at login, whether the program can be reached again, when a tray comes and
// when the window shows (none: never), and the notices and quits once the window is closed twice.
TEST(TrayFallbackTest, TheWindowShowsUnlessATrayComesInTime) {
    const struct {
        bool inBackground, reachableAgain;
        std::optional<double> trayAfter, windowAfter;
        int notices, quits;
    } rows[] = {
        {false, true, {}, 0, 1, 0},  // by hand, no tray
        {true, true, 0, {}, 0, 0},   // at login, a tray at once
        {true, true, 9, {}, 0, 0},  {true, true, 11, 10, 0, 0}, {true, false, {}, 10, 0, 2},
    };
    for (const auto& row : rows) {
        ManualClock clock;
        TrayFallback fallback(clock, row.inBackground, row.reachableAgain);
        std::optional<double> shownAfter;
        int noticed = 0, quit = 0;
        QObject::connect(&fallback, &TrayFallback::showWindowRequested,
                         [&] { shownAfter = clock.monotonicNow(); });
        QObject::connect(&fallback, &TrayFallback::stillRunningNoticeRequested, [&] { ++noticed; });
        QObject::connect(&fallback, &TrayFallback::quitRequested, [&] { ++quit; });
        if (row.trayAfter == 0) {
            fallback.trayAppeared();
        }
        fallback.start();
        if (row.trayAfter > 0) {
            clock.advance(*row.trayAfter);
            fallback.trayAppeared();
        }
        clock.advance(60);
        const double tray = row.trayAfter.value_or(-1);
        EXPECT_EQ(shownAfter, row.windowAfter) << tray << row.reachableAgain;
        fallback.windowClosed();
        fallback.windowClosed();
        EXPECT_EQ(std::pair(noticed, quit), std::pair(row.notices, row.quits)) << tray;
    }
}

const AgentUsage kCodex = test::usage("codex", {test::fiveHour(42), test::weekly(20)});
const AgentUsage kClaude = test::usage("claude", {test::weekly(10)});

class TrayControllerTest : public test::StoreFixture {
protected:
    UsageStore& m_store = makeStore();
    test::FakePhone m_phone{clock, standard};
    TrayController m_controller{m_store, m_phone.link, clock, standard};
    TrayPopup& m_popup = *m_controller.popup();
};

TEST_F(TrayControllerTest, AClickRightAfterTheCloseDoesNotReopen) {
    m_controller.trayIconClicked();
    EXPECT_FALSE(m_popup.isVisible()) << "no tray icon before launch";
    m_controller.show();
    m_controller.trayIconClicked();
    ASSERT_TRUE(m_popup.isVisible());
    m_popup.hide();  // a click elsewhere, the tray icon included, closes the popup
    for (const auto& [advance, opens] : {std::pair(0.0, false), {0.25, false}, {0.01, true}}) {
        clock.advance(advance);
        m_controller.trayIconClicked();
        EXPECT_EQ(m_popup.isVisible(), opens) << advance;
    }
    m_controller.trayIconClicked();
    EXPECT_FALSE(m_popup.isVisible());
    // The guard measures monotonic time: setting the wall clock back does not block the click.
    clock.setNow(clock.now() - 3600);
    clock.advance(0.3);
    m_controller.trayIconClicked();
    EXPECT_TRUE(m_popup.isVisible());
}

// From no limits to two agents, the popup open over a panel at the bottom: it grows upwards, and
// of two equal snapshots only the first redraws the icon.
TEST_F(TrayControllerTest, IconAndPopupFollowTheStore) {
    int redraws = 0, mainWindow = 0;
    QObject::connect(&m_controller, &TrayController::statusIconRefreshed, [&] { ++redraws; });
    QObject::connect(&m_controller, &TrayController::mainWindowRequested, [&] { ++mainWindow; });
    m_controller.show();
    m_controller.showPopup();
    auto* open = m_popup.findChild<QPushButton*>();
    ASSERT_TRUE(open && open->isVisible());
    open->click();
    EXPECT_EQ(mainWindow, 1);
    EXPECT_FALSE(m_popup.isVisible());

    // A StatusNotifierItem click (no icon geometry); the refresh asked for there applies Claude.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint click(screen.center().x(), screen.bottom() - 4);
    QCursor::setPos(click);
    clock.advance(1);
    Q_EMIT m_controller.trayIcon()->activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(m_popup.isVisible() && (m_popup.windowFlags() & Qt::Popup));
    claude.script.answers = {test::Wait{30}, kClaude};
    TrayPopupButton& refresh = *m_popup.refreshButton();
    refresh.click();
    EXPECT_TRUE(refresh.isBusy() && !refresh.isEnabled());
    clock.advance(30);
    EXPECT_TRUE(test::processEventsUntil([&] { return !m_store.isRefreshing(); }));
    EXPECT_TRUE(!refresh.isBusy() && refresh.isEnabled());
    QCoreApplication::processEvents();
    const int oneAgent = m_popup.height();
    for (int time = 0; time < 2; ++time) {
        m_store.apply(AgentUsageSnapshot({kCodex, kClaude}), SessionStatus::LocalPrimary);
    }
    EXPECT_EQ(redraws, 3);
    ASSERT_TRUE(test::processEventsUntil([&] { return m_popup.height() > oneAgent; }));
    EXPECT_LT(m_popup.geometry().bottom(), click.y());
    EXPECT_TRUE(screen.contains(m_popup.geometry())) << m_popup.y();
    auto rows = m_popup.findChildren<TrayAgentMeters*>();
    std::ranges::sort(rows, {}, [](const QWidget* row) { return row->y(); });
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0]->usage(), kCodex);
    EXPECT_EQ(std::pair(rows[0]->cards().size(), rows[1]->cards().size()), std::pair(2ul, 1ul));
    EXPECT_FALSE(open->isVisible()) << "only without limits";
}

}  // namespace

namespace {

// Under each card, its window's pace forecast; nothing where the window has none.
TEST(TrayAgentMetersTest, EachCardsForecastUnderIt) {
    const ManualClock clock(kNow);
    TrayAgentMeters meters(clock, 160, 10);
    meters.setUsage(
        usage("codex", {test::fiveHour(50, kNow + 7260), test::weekly(10, kNow + 7260)}),
        PaceForecasts{{{{"codex", 18000}, {kNow + 4800, kNow + 7260}}}});
    ASSERT_EQ(meters.forecastLabels().size(), 2u);
    EXPECT_EQ(meters.forecastLabels()[0]->text(),
              u"At this pace: limit reached in 1h 20m, 41m before the reset"_s);
    EXPECT_FALSE(meters.forecastLabels()[0]->isHidden());
    EXPECT_TRUE(meters.forecastLabels()[1]->isHidden());
}

}  // namespace
