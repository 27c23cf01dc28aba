#include "ui/tray_controller.h"

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
#include "ui/tray_agent_meters.h"
#include "ui/tray_icon_appearance.h"
#include "ui/tray_icon_renderer.h"
#include "ui/tray_icon_settings.h"
#include "ui/tray_popup.h"
#include "ui/tray_popup_button.h"
#include "ui/tray_popup_placement.h"

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
const auto kDark = TrayIconAppearance::colors(TrayIconAppearance::Drawing::Dark);

TEST(TrayIconSettingsTest, ResolvesTheShownUsage) {
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
            preferences.setString(TrayIconSettings::kProviderKey, preferred);
        }
        const auto usage = TrayIconSettings::resolvedUsage(AgentUsageSnapshot(usages), preferences);
        EXPECT_EQ(usage ? std::optional(usage->provider.rawValue) : std::nullopt, shown);
    }
}

TEST(TrayIconRendererTest, DrawsCapsulesAtEverySize) {
    // Probes at points of the 18-point square (y down).
    using Row = std::pair<std::optional<AgentUsage>, std::vector<std::tuple<double, double, Ink>>>;
    for (const auto& [shown, probes] : {
             // Both windows: a thin 5-hour bar above a thick weekly bar, a gap between them.
             Row{kCodex,
                 {{4, 5, Ink::Fill},
                  {14, 5, Ink::Track},
                  {9, 7.6, Ink::None},
                  {10, 11.5, Ink::Fill},
                  {14.5, 11.5, Ink::Track},
                  {9, 16, Ink::None}}},
             // One window: one 8-point capsule across the middle.
             Row{kClaude, {{9, 3, Ink::None}, {9, 7.6, Ink::Fill}, {9, 14, Ink::None}}},
             Row{usage("codex", "", {window(50, kFive)}), {{4, 9, Ink::Fill}, {14, 9, Ink::Track}}},
             Row{std::nullopt, {{4, 9, Ink::Track}, {14, 9, Ink::Track}, {9, 3, Ink::None}}},
             Row{usage("codex", "", {window(130, kWeek)}), {{4, 9, Ink::Track}}},
             Row{usage("codex", "", {window(-20, kWeek)}), {{14.5, 9, Ink::Fill}}},
             // Past its reset: no fill until the new allowance is read.
             Row{usage("codex", "", {window(0, kWeek, 788918400)}), {{4, 9, Ink::Track}}},
         }) {
        for (const qreal ratio : {1.0, 2.0}) {
            const QImage image =
                TrayIconRenderer::image(shown, kDark, kNow).pixmap(QSize(18, 18), ratio).toImage();
            ASSERT_EQ(image.width(), int(18 * ratio));
            for (const auto& [x, y, ink] : probes) {
                EXPECT_EQ(test::inkAt(image, x, y), ink) << x << "," << y << " at " << ratio;
            }
        }
    }
}

TEST(TrayStatusTitleTest, SaysWhatTheIconShows) {
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
        EXPECT_EQ(TrayController::statusTitle(shown, kNow), title);
    }
}

TEST(TrayPopupPlacementTest, HangsBelowOrAboveTheAnchorInsideTheScreen) {
    const QRect screen(0, 0, 1024, 640);
    for (const auto& [anchor, available, topLeft] : std::vector<std::tuple<QRect, QRect, QPoint>>{
             {QRect(500, 0, 22, 22), screen, QPoint(331, 26)},      // top panel, centred below
             {QRect(1000, 0, 22, 22), screen, QPoint(666, 26)},     // at the right edge
             {QRect(1000, 618, 22, 22), screen, QPoint(666, 214)},  // bottom panel: above
             {QRect(10, 300, 1, 1), QRect(0, 24, 1024, 420), QPoint(0, 24)},  // fits neither way
         }) {
        EXPECT_EQ(TrayPopupPlacement::topLeft(QSize(358, 400), anchor, available), topLeft);
    }
}

class TrayControllerTest : public test::StoreFixture {
protected:
    UsageStore& m_store = makeStore();
    TrayController m_controller{m_store, clock, standard};
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

TEST_F(TrayControllerTest, AGrowingPopupIsPlacedAgainAboveABottomPanel) {
    m_store.apply(AgentUsageSnapshot({kCodex}), SessionStatus::LocalPrimary);
    m_controller.show();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // A StatusNotifierItem click (no icon geometry) on a panel at the bottom of the screen.
    const QPoint click(screen.center().x(), screen.bottom() - 4);
    QCursor::setPos(click);
    Q_EMIT m_controller.trayIcon()->activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(m_popup.isVisible() && (m_popup.windowFlags() & Qt::Popup));
    const int oneAgent = m_popup.height();
    m_store.apply(AgentUsageSnapshot({kCodex, kClaude}), SessionStatus::LocalPrimary);
    ASSERT_TRUE(test::processEventsUntil([&] { return m_popup.height() > oneAgent; }));
    EXPECT_LT(m_popup.geometry().bottom(), click.y());
    EXPECT_TRUE(screen.contains(m_popup.geometry())) << m_popup.y();
}

TEST_F(TrayControllerTest, IconAndPopupFollowTheStore) {
    int redraws = 0, mainWindow = 0;
    QObject::connect(&m_controller, &TrayController::statusIconRefreshed, [&] { ++redraws; });
    QObject::connect(&m_controller, &TrayController::mainWindowRequested, [&] { ++mainWindow; });
    m_controller.show();
    m_controller.showPopup();
    EXPECT_EQ(m_popup.width(), 330 + 2 * 14);
    auto* open = m_popup.findChild<QPushButton*>();
    ASSERT_TRUE(open && open->isVisible());
    open->click();
    EXPECT_EQ(mainWindow, 1);
    EXPECT_FALSE(m_popup.isVisible());

    // A refresh applies Claude; of two equal snapshots applied after it, only the first redraws.
    claude.script.answers = {test::Wait{30}, kClaude};
    m_controller.showPopup();
    TrayPopupButton& refresh = *m_popup.refreshButton();
    refresh.click();
    EXPECT_TRUE(refresh.isBusy() && !refresh.isEnabled());
    clock.advance(30);
    EXPECT_TRUE(test::processEventsUntil([&] { return !m_store.isRefreshing(); }));
    EXPECT_TRUE(!refresh.isBusy() && refresh.isEnabled());
    for (int time = 0; time < 2; ++time) {
        m_store.apply(AgentUsageSnapshot({kCodex, kClaude}), SessionStatus::LocalPrimary);
    }
    EXPECT_EQ(redraws, 3);
    EXPECT_EQ(m_controller.trayIcon()->toolTip(), TrayController::statusTitle(kCodex, kNow));
    QCoreApplication::processEvents();  // the open popup lays out its new rows
    auto rows = m_popup.findChildren<TrayAgentMeters*>();
    std::ranges::sort(rows, {}, [](const QWidget* row) { return row->y(); });
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0]->usage(), kCodex);
    EXPECT_EQ(rows[0]->cards().size(), 2u);
    ASSERT_EQ(rows[1]->cards().size(), 1u);
    EXPECT_EQ(rows[1]->cards()[0]->size(), QSize(330, 160));
    EXPECT_FALSE(open->isVisible());
    EXPECT_EQ(m_popup.size(), QSize(358, 14 + 26 + 12 + 160 + 12 + 160 + 14));
}

}  // namespace
