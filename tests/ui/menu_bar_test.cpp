#include <gtest/gtest.h>

#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include "icon_ink.h"
#include "memory_secret_store.h"
#include "model/test_usages.h"
#include "store/store_fakes.h"
#include "store/usage_store.h"
#include "support/run_task.h"
#include "ui/mac_menu_bar_controller.h"
#include "ui/menu_bar_agent_meters.h"
#include "ui/menu_bar_icon_button.h"
#include "ui/menu_bar_icon_preferences.h"
#include "ui/menu_bar_limit_icon_renderer.h"
#include "ui/menu_bar_popover_view.h"
#include "ui/popover_placement.h"

namespace {

using test::Ink;
using test::usage;
using test::window;
constexpr std::int64_t kFive = UsageWindow::kFiveHourSeconds;
constexpr std::int64_t kWeek = UsageWindow::kWeeklySeconds;

const AgentUsage kCodex = usage("codex", "plus", {window(42, kFive), window(20, kWeek)});
const AgentUsage kClaude = usage("claude", "max", {window(10, kWeek)});

TEST(MenuBarIconPreferencesTest, ResolvesTheShownUsage) {
    struct Row {
        std::vector<AgentUsage> usages;
        std::optional<QString> preference;
        std::optional<std::string> shown;
    };
    const std::vector<Row> rows = {
        {{}, QStringLiteral("claude"), std::nullopt},
        {{kCodex, kClaude}, std::nullopt, "codex"},
        {{kCodex, kClaude}, QStringLiteral("claude"), "claude"},
        {{kCodex, kClaude}, QStringLiteral("gemini"), "codex"},
        {{kClaude}, QStringLiteral("codex"), "claude"},
    };
    for (const Row& row : rows) {
        QTemporaryDir folder;
        Preferences preferences(folder.filePath(QStringLiteral("Quotamind.conf")));
        if (row.preference) {
            preferences.setString(MenuBarIconPreferences::kProviderKey, *row.preference);
        }
        const auto shown =
            MenuBarIconPreferences::resolvedUsage(AgentUsageSnapshot(row.usages), preferences);
        EXPECT_EQ(shown ? std::optional(shown->provider.rawValue) : std::nullopt, row.shown);
    }
}

TEST(MenuBarLimitIconRendererTest, DrawsCapsulesAtEverySize) {
    struct Row {
        std::optional<AgentUsage> usage;
        // Points (y down) and what each shows.
        std::vector<std::tuple<double, double, Ink>> probes;
    };
    const std::vector<Row> rows = {
        // Both windows: a thin 5-hour bar above a thick weekly bar, a gap between them.
        {kCodex,
         {{4, 5, Ink::fill},
          {14, 5, Ink::track},
          {9, 7.6, Ink::none},
          {10, 11.5, Ink::fill},
          {14.5, 11.5, Ink::track},
          {9, 16, Ink::none}}},
        // One window: one 8-point capsule across the middle.
        {kClaude, {{9, 3, Ink::none}, {9, 7.6, Ink::fill}, {9, 14, Ink::none}}},
        {usage("codex", "", {window(50, kFive)}), {{4, 9, Ink::fill}, {14, 9, Ink::track}}},
        {std::nullopt, {{4, 9, Ink::track}, {14, 9, Ink::track}, {9, 3, Ink::none}}},
        {usage("codex", "", {window(130, kWeek)}), {{4, 9, Ink::track}}},
        {usage("codex", "", {window(-20, kWeek)}), {{14.5, 9, Ink::fill}}},
    };
    for (const Row& row : rows) {
        const QIcon icon = MenuBarLimitIconRenderer::image(row.usage, Qt::black);
        for (const qreal ratio : {1.0, 2.0}) {
            const QImage image = icon.pixmap(QSize(18, 18), ratio).toImage();
            ASSERT_EQ(image.width(), int(18 * ratio));
            for (const auto& [x, y, ink] : row.probes) {
                EXPECT_EQ(test::inkAt(image, x, y), ink) << x << "," << y << " at " << ratio;
            }
        }
    }
}

TEST(MacMenuBarControllerTest, StatusTitleSaysWhatTheIconShows) {
    const std::vector<std::pair<std::optional<AgentUsage>, QString>> rows = {
        {kCodex, QStringLiteral("Codex: 58% remaining for 5 hours, 80% remaining for the week")},
        {kClaude, QStringLiteral("Claude: 90% remaining for 7D")},
        {usage("codex", "", {window(120, kFive)}), QStringLiteral("Codex: 0% remaining for 5H")},
        // Not the 5-hour window: the longest one, when there is no weekly window.
        {usage("codex", "", {window(30, kFive), window(5, 2592000)}),
         QStringLiteral("Codex: 95% remaining for 30D")},
        {usage("codex"), QStringLiteral("Quotamind: waiting for limits")},
        {std::nullopt, QStringLiteral("Quotamind: waiting for limits")},
    };
    for (const auto& [shown, title] : rows) {
        EXPECT_EQ(MacMenuBarController::statusTitle(shown), title);
    }
}

TEST(PopoverPlacementTest, HangsBelowOrAboveTheAnchorInsideTheScreen) {
    const QSize popover(358, 400);
    const QRect screen(0, 0, 1024, 640);
    const std::vector<std::tuple<QRect, QRect, QPoint>> rows = {
        {QRect(500, 0, 22, 22), screen, QPoint(331, 26)},                // top panel, centred below
        {QRect(1000, 0, 22, 22), screen, QPoint(666, 26)},               // at the right edge
        {QRect(1000, 618, 22, 22), screen, QPoint(666, 214)},            // bottom panel: above
        {QRect(10, 300, 1, 1), QRect(0, 24, 1024, 420), QPoint(0, 24)},  // fits neither way
    };
    for (const auto& [anchor, available, topLeft] : rows) {
        EXPECT_EQ(PopoverPlacement::topLeft(popover, anchor, available), topLeft) << anchor.x();
    }
}

class MenuBarControllerTest : public ::testing::Test {
protected:
    MenuBarControllerTest()
        : m_store(UsageStore::Services{m_clock, m_appServer, m_authFile, m_account, m_claude,
                                       m_followers, m_servers, m_wake, m_followers, m_loginItem,
                                       m_secrets,
                                       Preferences(m_folder.filePath(QStringLiteral("g.conf"))),
                                       Preferences(m_folder.filePath(QStringLiteral("s.conf")))}),
          m_controller(m_store, m_clock, Preferences(m_folder.filePath(QStringLiteral("p.conf")))) {
    }

    MenuBarPopoverView& popover() { return *m_controller.popover(); }

    QTemporaryDir m_folder;
    ManualClock m_clock;
    test::FakeAppServer m_appServer{m_clock};
    test::FakeUsageSource m_authFile{m_clock};
    test::FakeUsageSource m_claude{m_clock};
    test::FakeAccount m_account{m_clock};
    test::Followers m_followers;
    test::FakePairingServers m_servers;
    test::FakeWakeSender m_wake{m_clock};
    test::FakeLoginItem m_loginItem;
    MemorySecretStore m_secrets;
    UsageStore m_store;
    MacMenuBarController m_controller;
};

TEST_F(MenuBarControllerTest, AClickRightAfterTheCloseDoesNotReopen) {
    m_controller.statusItemClicked();
    EXPECT_FALSE(popover().isVisible()) << "no tray icon before launch";
    m_controller.finishLaunching();
    m_controller.statusItemClicked();
    ASSERT_TRUE(popover().isVisible());
    popover().hide();  // a click elsewhere, the tray icon included, closes the popup
    for (const auto& [advance, opens] : {std::pair(0.0, false), {0.25, false}, {0.01, true}}) {
        m_clock.advance(advance);
        m_controller.statusItemClicked();
        EXPECT_EQ(popover().isVisible(), opens) << advance;
    }
    m_controller.statusItemClicked();
    EXPECT_FALSE(popover().isVisible());
}

TEST_F(MenuBarControllerTest, RedrawsTheIconOncePerChangedSnapshot) {
    int redraws = 0;
    QObject::connect(&m_controller, &MacMenuBarController::statusIconRefreshed, [&] { ++redraws; });
    m_controller.finishLaunching();
    EXPECT_EQ(m_controller.statusItem()->toolTip(),
              QStringLiteral("Quotamind: waiting for limits"));
    for (const AgentUsage& shown : {kClaude, kClaude, kCodex}) {
        m_store.apply(AgentUsageSnapshot({shown}), SessionStatus::localPrimary);
    }
    EXPECT_EQ(redraws, 3);
    EXPECT_EQ(m_controller.statusItem()->toolTip(), MacMenuBarController::statusTitle(kCodex));
}

TEST_F(MenuBarControllerTest, PopoverShowsTheEmptyStateThenOneRowPerAgent) {
    m_controller.finishLaunching();
    m_controller.showPopover();
    EXPECT_EQ(popover().width(), 330 + 2 * 14);
    int mainWindow = 0;
    QObject::connect(&m_controller, &MacMenuBarController::mainWindowRequested,
                     [&] { ++mainWindow; });
    auto* open = popover().findChild<QPushButton*>();
    ASSERT_TRUE(open && open->isVisible());
    EXPECT_EQ(open->text(), QStringLiteral("Open Quotamind"));
    open->click();
    EXPECT_EQ(mainWindow, 1);
    EXPECT_FALSE(popover().isVisible());

    m_store.apply(AgentUsageSnapshot({kCodex, kClaude}), SessionStatus::localPrimary);
    m_controller.showPopover();
    const auto rows = popover().findChildren<MenuBarAgentMeters*>();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0]->cards().size(), 2u);
    EXPECT_EQ(rows[1]->cards().size(), 1u);
    EXPECT_LT(rows[0]->y(), rows[1]->y());
    EXPECT_FALSE(open->isVisible());
    EXPECT_EQ(popover().size(), QSize(358, 14 + 26 + 12 + 160 + 12 + 160 + 14));
}

TEST_F(MenuBarControllerTest, RefreshButtonSpinsAndIsDisabledWhileRefreshing) {
    m_claude.script.answers = {test::Wait{30}, kClaude};
    m_controller.showPopover();
    MenuBarIconButton& refresh = *popover().refreshButton();
    refresh.click();
    EXPECT_TRUE(m_store.isRefreshing());
    EXPECT_TRUE(refresh.isBusy());
    EXPECT_FALSE(refresh.isEnabled());
    m_clock.advance(30);
    EXPECT_TRUE(test::processEventsUntil([&] { return !m_store.isRefreshing(); }));
    EXPECT_FALSE(refresh.isBusy());
    EXPECT_TRUE(refresh.isEnabled());
    EXPECT_EQ(popover().findChildren<MenuBarAgentMeters*>().size(), 1);
}

}  // namespace
