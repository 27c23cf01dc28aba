#include "ui/tray/tray_controller.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>

#include "store/phone_fakes.h"
#include "store/store_fixture.h"
#include "support/usage_builder.h"
#include "ui/common/limit_meter_view.h"
#include "ui/tray/tray_agent_meters.h"
#include "ui/tray/tray_popup.h"
#include "ui/tray/tray_popup_button.h"

namespace {

const AgentUsage kCodex = test::usage("codex", {test::fiveHour(42), test::weekly(20)});
const AgentUsage kClaude = test::usage("claude", {test::weekly(10)});
constexpr Timestamp kNow(788918400);  // the manual clock's start

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
    EXPECT_EQ(rows[1]->cards().size(), 1u);
    EXPECT_FALSE(open->isVisible()) << "only without limits";
}

}  // namespace
