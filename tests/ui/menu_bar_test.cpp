#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include "icon_ink.h"
#include "model/test_usages.h"
#include "store/store_fixture.h"
#include "ui/limit_meter_view.h"
#include "ui/mac_menu_bar_controller.h"
#include "ui/menu_bar_agent_meters.h"
#include "ui/menu_bar_icon_button.h"
#include "ui/menu_bar_icon_preferences.h"
#include "ui/menu_bar_limit_icon_renderer.h"
#include "ui/menu_bar_popover_view.h"
#include "ui/popover_placement.h"
#include "ui/tray_icon_appearance.h"

namespace {

using test::Ink;
using test::usage;
using test::window;
constexpr std::int64_t kFive = UsageWindow::kFiveHourSeconds;
constexpr std::int64_t kWeek = UsageWindow::kWeeklySeconds;
const AgentUsage kCodex = usage("codex", "plus", {window(42, kFive), window(20, kWeek)});
const AgentUsage kClaude = usage("claude", "max", {window(10, kWeek)});
// The manual clock's start; the test windows reset five hours later.
constexpr Timestamp kNow(788918400);
const auto kDark = TrayIconAppearance::colors(TrayIconAppearance::Drawing::dark);

TEST(MenuBarIconPreferencesTest, ResolvesTheShownUsage) {
    using Row = std::tuple<std::vector<AgentUsage>, QString, std::optional<std::string>>;
    for (const auto& [usages, preferred, shown] : {
             Row{{}, QStringLiteral("claude"), std::nullopt},
             Row{{kCodex, kClaude}, QString(), "codex"},
             Row{{kCodex, kClaude}, QStringLiteral("claude"), "claude"},
             Row{{kCodex, kClaude}, QStringLiteral("gemini"), "codex"},
             Row{{kClaude}, QStringLiteral("codex"), "claude"},
         }) {
        QTemporaryDir folder;
        Preferences preferences(folder.filePath(QStringLiteral("Quotamind.conf")));
        if (!preferred.isEmpty()) {
            preferences.setString(MenuBarIconPreferences::kProviderKey, preferred);
        }
        const auto usage =
            MenuBarIconPreferences::resolvedUsage(AgentUsageSnapshot(usages), preferences);
        EXPECT_EQ(usage ? std::optional(usage->provider.rawValue) : std::nullopt, shown);
    }
}

TEST(MenuBarLimitIconRendererTest, DrawsCapsulesAtEverySize) {
    // Probes at points of the 18-point square (y down).
    using Row = std::pair<std::optional<AgentUsage>, std::vector<std::tuple<double, double, Ink>>>;
    for (const auto& [shown, probes] : {
             // Both windows: a thin 5-hour bar above a thick weekly bar, a gap between them.
             Row{kCodex,
                 {{4, 5, Ink::fill},
                  {14, 5, Ink::track},
                  {9, 7.6, Ink::none},
                  {10, 11.5, Ink::fill},
                  {14.5, 11.5, Ink::track},
                  {9, 16, Ink::none}}},
             // One window: one 8-point capsule across the middle.
             Row{kClaude, {{9, 3, Ink::none}, {9, 7.6, Ink::fill}, {9, 14, Ink::none}}},
             Row{usage("codex", "", {window(50, kFive)}), {{4, 9, Ink::fill}, {14, 9, Ink::track}}},
             Row{std::nullopt, {{4, 9, Ink::track}, {14, 9, Ink::track}, {9, 3, Ink::none}}},
             Row{usage("codex", "", {window(130, kWeek)}), {{4, 9, Ink::track}}},
             Row{usage("codex", "", {window(-20, kWeek)}), {{14.5, 9, Ink::fill}}},
             // Past its reset: no fill until the new allowance is read.
             Row{usage("codex", "", {window(0, kWeek, 788918400)}), {{4, 9, Ink::track}}},
         }) {
        for (const qreal ratio : {1.0, 2.0}) {
            const QImage image = MenuBarLimitIconRenderer::image(shown, kDark, kNow)
                                     .pixmap(QSize(18, 18), ratio)
                                     .toImage();
            ASSERT_EQ(image.width(), int(18 * ratio));
            for (const auto& [x, y, ink] : probes) {
                EXPECT_EQ(test::inkAt(image, x, y), ink) << x << "," << y << " at " << ratio;
            }
        }
    }
}

TEST(MacMenuBarControllerTest, StatusTitleSaysWhatTheIconShows) {
    const QString waiting = QStringLiteral("Quotamind: waiting for limits");
    for (const auto& [shown, title] : std::vector<std::pair<std::optional<AgentUsage>, QString>>{
             {kCodex,
              QStringLiteral("Codex: 58% remaining for 5 hours, 80% remaining for the week")},
             {kClaude, QStringLiteral("Claude: 90% remaining for 7D")},
             {usage("codex", "", {window(120, kFive)}),
              QStringLiteral("Codex: 0% remaining for 5H")},
             // Not the 5-hour window: the longest one, when there is no weekly window.
             {usage("codex", "", {window(30, kFive), window(5, 2592000)}),
              QStringLiteral("Codex: 95% remaining for 30D")},
             {usage("codex", "", {window(30, kFive, 788918400), window(5, kWeek)}),
              QStringLiteral("Codex: 5-hour limit reset, checking…, 95% remaining for the week")},
             {usage("codex", "", {window(30, kFive, 788918400)}),
              QStringLiteral("Codex: 5H limit reset, checking…")},
             {usage("codex"), waiting},
             {std::nullopt, waiting},
         }) {
        EXPECT_EQ(MacMenuBarController::statusTitle(shown, kNow), title);
    }
}

TEST(PopoverPlacementTest, HangsBelowOrAboveTheAnchorInsideTheScreen) {
    const QRect screen(0, 0, 1024, 640);
    for (const auto& [anchor, available, topLeft] : std::vector<std::tuple<QRect, QRect, QPoint>>{
             {QRect(500, 0, 22, 22), screen, QPoint(331, 26)},      // top panel, centred below
             {QRect(1000, 0, 22, 22), screen, QPoint(666, 26)},     // at the right edge
             {QRect(1000, 618, 22, 22), screen, QPoint(666, 214)},  // bottom panel: above
             {QRect(10, 300, 1, 1), QRect(0, 24, 1024, 420), QPoint(0, 24)},  // fits neither way
         }) {
        EXPECT_EQ(PopoverPlacement::topLeft(QSize(358, 400), anchor, available), topLeft);
    }
}

class MenuBarControllerTest : public test::StoreFixture {
protected:
    UsageStore& m_store = makeStore();
    MacMenuBarController m_controller{m_store, clock, standard};
    MenuBarPopoverView& m_popover = *m_controller.popover();
};

TEST_F(MenuBarControllerTest, AClickRightAfterTheCloseDoesNotReopen) {
    m_controller.statusItemClicked();
    EXPECT_FALSE(m_popover.isVisible()) << "no tray icon before launch";
    m_controller.finishLaunching();
    m_controller.statusItemClicked();
    ASSERT_TRUE(m_popover.isVisible());
    m_popover.hide();  // a click elsewhere, the tray icon included, closes the popup
    for (const auto& [advance, opens] : {std::pair(0.0, false), {0.25, false}, {0.01, true}}) {
        clock.advance(advance);
        m_controller.statusItemClicked();
        EXPECT_EQ(m_popover.isVisible(), opens) << advance;
    }
    m_controller.statusItemClicked();
    EXPECT_FALSE(m_popover.isVisible());
    // The guard measures monotonic time: setting the wall clock back does not block the click.
    clock.setNow(clock.now() - 3600);
    clock.advance(0.3);
    m_controller.statusItemClicked();
    EXPECT_TRUE(m_popover.isVisible());
}

TEST_F(MenuBarControllerTest, AGrowingPopoverIsPlacedAgainAboveABottomPanel) {
    m_store.apply(AgentUsageSnapshot({kCodex}), SessionStatus::localPrimary);
    m_controller.finishLaunching();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // A StatusNotifierItem click (no icon geometry) on a panel at the bottom of the screen.
    const QPoint click(screen.center().x(), screen.bottom() - 4);
    QCursor::setPos(click);
    Q_EMIT m_controller.statusItem()->activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(m_popover.isVisible() && (m_popover.windowFlags() & Qt::Popup));
    const int oneAgent = m_popover.height();
    m_store.apply(AgentUsageSnapshot({kCodex, kClaude}), SessionStatus::localPrimary);
    ASSERT_TRUE(test::processEventsUntil([&] { return m_popover.height() > oneAgent; }));
    EXPECT_LT(m_popover.geometry().bottom(), click.y());
    EXPECT_TRUE(screen.contains(m_popover.geometry())) << m_popover.y();
}

TEST_F(MenuBarControllerTest, IconAndPopoverFollowTheStore) {
    int redraws = 0, mainWindow = 0;
    QObject::connect(&m_controller, &MacMenuBarController::statusIconRefreshed, [&] { ++redraws; });
    QObject::connect(&m_controller, &MacMenuBarController::mainWindowRequested,
                     [&] { ++mainWindow; });
    m_controller.finishLaunching();
    m_controller.showPopover();
    EXPECT_EQ(m_popover.width(), 330 + 2 * 14);
    auto* open = m_popover.findChild<QPushButton*>();
    ASSERT_TRUE(open && open->isVisible());
    open->click();
    EXPECT_EQ(mainWindow, 1);
    EXPECT_FALSE(m_popover.isVisible());

    // A refresh applies Claude; of two equal snapshots applied after it, only the first redraws.
    claude.script.answers = {test::Wait{30}, kClaude};
    m_controller.showPopover();
    MenuBarIconButton& refresh = *m_popover.refreshButton();
    refresh.click();
    EXPECT_TRUE(refresh.isBusy() && !refresh.isEnabled());
    clock.advance(30);
    EXPECT_TRUE(test::processEventsUntil([&] { return !m_store.isRefreshing(); }));
    EXPECT_TRUE(!refresh.isBusy() && refresh.isEnabled());
    for (int time = 0; time < 2; ++time) {
        m_store.apply(AgentUsageSnapshot({kCodex, kClaude}), SessionStatus::localPrimary);
    }
    EXPECT_EQ(redraws, 3);
    EXPECT_EQ(m_controller.statusItem()->toolTip(),
              MacMenuBarController::statusTitle(kCodex, kNow));
    QCoreApplication::processEvents();  // the open popover lays out its new rows
    auto rows = m_popover.findChildren<MenuBarAgentMeters*>();
    std::ranges::sort(rows, {}, [](const QWidget* row) { return row->y(); });
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0]->usage(), kCodex);
    EXPECT_EQ(rows[0]->cards().size(), 2u);
    ASSERT_EQ(rows[1]->cards().size(), 1u);
    EXPECT_EQ(rows[1]->cards()[0]->size(), QSize(330, 160));
    EXPECT_FALSE(open->isVisible());
    EXPECT_EQ(m_popover.size(), QSize(358, 14 + 26 + 12 + 160 + 12 + 160 + 14));
}

}  // namespace
