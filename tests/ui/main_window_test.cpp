#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <functional>

#include "model/shared_snapshot_store.h"
#include "store/store_fixture.h"
#include "ui/limit_meter_view.h"
#include "ui/limit_pane.h"
#include "ui/limit_views.h"
#include "ui/pane_style.h"
#include "window_test_support.h"

namespace {

using test::shows;

const AgentProvider kCodex = AgentProvider::codex();
const AgentProvider kClaude = AgentProvider::claude();
const AgentUsage kCodexPair = test::usageWith(
    kCodex, {{UsageWindow::kFiveHourSeconds, 30}, {UsageWindow::kWeeklySeconds, 60}});
const AgentUsage kCodexWeekly = test::usageWith(kCodex, {{UsageWindow::kWeeklySeconds, 25}});
const AgentUsage kClaudePair = test::usageWith(
    kClaude, {{UsageWindow::kFiveHourSeconds, 10}, {UsageWindow::kWeeklySeconds, 20}});

class MainWindowTest : public test::StoreFixture {
protected:
    // A store that remembers nothing of the one before.
    UsageStore& freshStore() {
        store.reset();
        preferences.remove(SharedSnapshotStore::kSnapshotKey);
        return makeStore();
    }
};

void refreshFailingEverywhere(UsageStore& store) {
    test::runTask(store.refresh());
}

void pendingSignIn(UsageStore& store) {
    store.apply(kCodexPair, SessionStatus::LocalPrimary);
    store.apply(kClaudePair, SessionStatus::LocalPrimary);
    store.beginSignIn();
    ASSERT_TRUE(test::processEventsUntil([&] { return store.deviceCode().has_value(); }));
}

int shownCards(const QWidget& pane) {
    int count = 0;
    for (const LimitMeterView* card : pane.findChildren<LimitMeterView*>()) {
        count += card->isVisibleTo(&pane) ? 1 : 0;
    }
    return count;
}

}  // namespace

// Each row puts the store in one state and looks at one provider's side of the limit pane: the
// first rule that applies decides what shows.
TEST_F(MainWindowTest, LimitPaneShowsTheFirstRuleThatApplies) {
    const QString signIn = QStringLiteral("Sign in with ChatGPT");
    const QString checkAgain = QStringLiteral("Check Again");
    const struct {
        const char* name;
        std::function<void(UsageStore&)> arrange;
        AgentProvider provider;
        std::vector<QString> shown;
        std::vector<QString> hidden;
        int cards;
        bool banner;
        QColor background;  // at the top of the content, or invalid when cards cover it
    } cases[] = {
        {"first launch, Codex",
         [](auto&) {},
         kCodex,
         {QStringLiteral("Loading Codex limits…"),
          QStringLiteral("Quotamind is reading the signed-in Codex session on this computer.")},
         {checkAgain},
         0,
         false,
         paneStyle::cardBase()},
        {"first launch, Claude",
         [](auto&) {},
         kClaude,
         {QStringLiteral("Loading Claude limits…")},
         {},
         0,
         false,
         paneStyle::cardBase()},
        {"signed out, Claude",
         refreshFailingEverywhere,
         kClaude,
         {QStringLiteral("Connect Claude on this computer"), checkAgain,
          QStringLiteral("Sign in with Claude Code on this computer using `claude login`, then "
                         "refresh."),
          QStringLiteral("offline")},
         {signIn},
         0,
         false,
         paneStyle::signedOutBackground()},
        {"signed out, Codex",
         refreshFailingEverywhere,
         kCodex,
         {QStringLiteral("Connect Codex on this computer"), checkAgain, signIn,
          QStringLiteral("The iPhone receives limits after this computer has a Codex or ChatGPT "
                         "session.")},
         {},
         0,
         false,
         paneStyle::signedOutBackground()},
        {"a background cycle keeps the signed-out view",
         [this](UsageStore& store) {
             refreshFailingEverywhere(store);
             claude.script.answers = {test::Wait{30}};
             QCoro::Task<> cycle = store.refresh(false, false);
         },
         kClaude,
         {QStringLiteral("Connect Claude on this computer"), checkAgain},
         {QStringLiteral("Loading Claude limits…")},
         0,
         false,
         paneStyle::signedOutBackground()},
        {"a refresh the user asked for shows the loading view",
         [this](UsageStore& store) {
             refreshFailingEverywhere(store);
             claude.script.answers = {test::Wait{30}};
             QCoro::Task<> cycle = store.refresh();
         },
         kClaude,
         {QStringLiteral("Loading Claude limits…")},
         {checkAgain},
         0,
         false,
         paneStyle::cardBase()},
        {"five-hour and weekly windows",
         [](UsageStore& store) { store.apply(kCodexPair, SessionStatus::LocalPrimary); },
         kCodex,
         {},
         {checkAgain},
         2,
         false,
         {}},
        {"weekly window only",
         [](UsageStore& store) { store.apply(kCodexWeekly, SessionStatus::LocalPrimary); },
         kCodex,
         {},
         {},
         1,
         false,
         {}},
        {"sign-in code over a Codex usage",
         pendingSignIn,
         kCodex,
         {QStringLiteral("One-time code ABCD-1234"), QStringLiteral("Copy Code"),
          QStringLiteral("Open Sign-In"), QStringLiteral("Cancel")},
         {},
         0,
         false,
         paneStyle::cardBase()},
        {"sign-in leaves Claude alone",
         pendingSignIn,
         kClaude,
         {},
         {QStringLiteral("One-time code ABCD-1234")},
         2,
         false,
         {}},
        {"error over cards",
         [](UsageStore& store) {
             store.apply(kCodexPair, SessionStatus::LocalPrimary);
             store.handleRefreshFailure(QStringLiteral("Codex went away"), kCodex, true);
         },
         kCodex,
         {QStringLiteral("Codex went away")},
         {},
         2,
         true,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UsageStore& store = freshStore();
        c.arrange(store);
        LimitPane pane(store, clock);
        pane.resize(510, 680);
        pane.show();
        if (c.provider != kCodex) {
            QAbstractButton* segment = test::button(pane, paneStyle::displayName(c.provider));
            ASSERT_NE(segment, nullptr);
            segment->click();
            EXPECT_TRUE(segment->isChecked());
        }
        EXPECT_EQ(pane.selectedProvider(), c.provider);
        for (const QString& text : c.shown) {
            EXPECT_TRUE(shows(pane, text)) << text.toStdString();
        }
        for (const QString& text : c.hidden) {
            EXPECT_FALSE(shows(pane, text)) << text.toStdString();
        }
        EXPECT_EQ(shownCards(pane), c.cards);
        const auto* banner = pane.findChild<ErrorBanner*>();
        ASSERT_NE(banner, nullptr);
        EXPECT_EQ(banner->isVisibleTo(&pane), c.banner);
        if (c.banner) {
            // Laid over the cards, 72 pixels from the top of the pane.
            EXPECT_EQ(banner->y(), 72);
        }
        if (c.background.isValid()) {
            EXPECT_EQ(pane.grab().toImage().pixelColor(4, 60).rgb(), c.background.rgb());
        }
    }
}

TEST_F(MainWindowTest, CheckAgainRefreshesWhileTheRefreshButtonWaits) {
    UsageStore& store = makeStore();
    test::runTask(store.refresh());
    LimitPane pane(store, clock);
    pane.show();
    const int claudeReads = claude.script.calls;
    claude.script.answers = {test::Wait{5}};
    test::button(pane, QStringLiteral("Check Again"))->click();
    EXPECT_TRUE(store.isRefreshing());
    // The refresh button turns into an activity indicator that takes no clicks.
    EXPECT_FALSE(test::button(pane, QStringLiteral("Refresh"))->isEnabled());
    clock.advance(5);
    ASSERT_TRUE(test::processEventsUntil([&] { return !store.isRefreshing(); }));
    EXPECT_EQ(claude.script.calls, claudeReads + 1);
}

TEST_F(MainWindowTest, ShowMainWindowReusesTheOpenWindowAndKeysReachTheirActions) {
    UsageStore& store = makeStore();
    MainWindowController controller(store, clock);
    QSignalSpy settings(&controller, &MainWindowController::settingsRequested);
    controller.showMainWindow();
    QPointer<RootView> window = controller.window();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quotamind"));
    EXPECT_EQ(window->size(), RootView::kDefaultSize);
    controller.showMainWindow();
    EXPECT_EQ(controller.window(), window);

    QTest::keyClick(window, Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(settings.count(), 1);
    test::button(*window, QStringLiteral("Settings"))->click();
    EXPECT_EQ(settings.count(), 2);
    claude.script.answers = {test::Wait{5}};
    QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(store.isRefreshing());

    // Closing deletes the window; the next one starts again at Codex.
    test::button(*window, QStringLiteral("Claude"))->click();
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window);
    controller.showMainWindow();
    ASSERT_TRUE(controller.window());
    EXPECT_EQ(controller.window()->limitPane()->selectedProvider(), kCodex);
}
