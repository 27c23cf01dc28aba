#include "ui/mainwindow/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "store/phone_fakes.h"
#include "store/store_fixture.h"
#include "support/named_rows.h"
#include "support/usage_builder.h"
#include "ui/common/limit_meter_view.h"
#include "ui/common/pane_style.h"
#include "ui/mainwindow/limit_pane.h"
#include "ui/mainwindow/limit_views.h"
#include "window_test_support.h"

using namespace Qt::StringLiterals;

namespace {

using test::shows;

const AgentProvider kCodex = AgentProvider::codex();
const AgentProvider kClaude = AgentProvider::claude();
const AgentUsage kCodexPair = test::usage("codex", {test::fiveHour(30), test::weekly(60)});

enum class State { FirstLaunch, SignedOut, Background, Asked, Pair, Weekly, SignIn, Error };

// One store state and one provider's side of the limit pane: the first rule that applies decides
// what shows.
struct PaneRow {
    const char* name;
    State state;
    AgentProvider provider;
    QString shown, hidden;
    int cards;
    QColor background;  // at the top of the content, or invalid when cards cover it
};

class LimitPaneTest : public test::StoreFixture, public testing::WithParamInterface<PaneRow> {
protected:
    UsageStore& arranged(State state) {
        UsageStore& store = makeStore();
        if (state == State::SignedOut || state == State::Background || state == State::Asked) {
            test::runTask(store.refresh());  // every source fails
            claude.script.answers = {test::Wait{30}};
            if (state != State::SignedOut) {
                QCoro::Task<> cycle =
                    state == State::Asked ? store.refresh() : store.refresh(false, false);
            }
        } else if (state == State::Weekly) {
            store.apply(test::usage("codex", {test::weekly(25)}), SessionStatus::LocalPrimary);
        } else if (state != State::FirstLaunch) {
            store.apply(kCodexPair, SessionStatus::LocalPrimary);
            store.apply(test::usage("claude", {test::fiveHour(10), test::weekly(20)}),
                        SessionStatus::LocalPrimary);
        }
        if (state == State::SignIn) {
            signIn->beginSignIn();
            EXPECT_TRUE(test::processEventsUntil([&] { return signIn->deviceCode().has_value(); }));
        } else if (state == State::Error) {
            store.handleRefreshFailure(u"Codex went away"_s, kCodex, true);
        }
        return store;
    }
};

TEST_P(LimitPaneTest, ShowsTheFirstRuleThatApplies) {
    const PaneRow& row = GetParam();
    UsageStore& store = arranged(row.state);
    LimitPane pane(store, *signIn, clock);
    pane.resize(510, 680);
    pane.show();
    if (row.provider != kCodex) {
        test::button(pane, paneStyle::displayName(row.provider))->click();
    }
    EXPECT_EQ(pane.selectedProvider(), row.provider);
    EXPECT_TRUE(row.shown.isEmpty() || shows(pane, row.shown)) << row.shown.toStdString();
    EXPECT_TRUE(row.hidden.isEmpty() || !shows(pane, row.hidden)) << row.hidden.toStdString();
    int cards = 0;
    for (const LimitMeterView* card : pane.findChildren<LimitMeterView*>()) {
        cards += card->isVisibleTo(&pane) ? 1 : 0;
    }
    EXPECT_EQ(cards, row.cards);
    const auto* banner = pane.findChild<ErrorBanner*>();
    EXPECT_EQ(banner->isVisibleTo(&pane), row.state == State::Error);
    if (row.state == State::Error) {
        EXPECT_EQ(banner->y(), 72) << "laid over the cards";
    }
    if (row.background.isValid()) {
        EXPECT_EQ(pane.grab().toImage().pixelColor(4, 60).rgb(), row.background.rgb());
    }
}

const QString kCheckAgain = u"Check Again"_s;

INSTANTIATE_TEST_SUITE_P(
    Rows, LimitPaneTest,
    testing::Values(
        PaneRow{"FirstLaunchCodex", State::FirstLaunch, kCodex, u"Loading Codex limits…"_s,
                kCheckAgain, 0, paneStyle::cardBase()},
        PaneRow{"FirstLaunchClaude", State::FirstLaunch, kClaude, u"Loading Claude limits…"_s,
                QString(), 0, paneStyle::cardBase()},
        PaneRow{"SignedOutClaudeHasNoChatGPTSignIn", State::SignedOut, kClaude, kCheckAgain,
                u"Sign in with ChatGPT"_s, 0, paneStyle::signedOutBackground()},
        PaneRow{"SignedOutCodex", State::SignedOut, kCodex, u"Sign in with ChatGPT"_s, QString(), 0,
                paneStyle::signedOutBackground()},
        PaneRow{"ABackgroundCycleKeepsTheSignedOutView", State::Background, kClaude, kCheckAgain,
                u"Loading Claude limits…"_s, 0, paneStyle::signedOutBackground()},
        PaneRow{"ARefreshAskedForShowsLoading", State::Asked, kClaude, u"Loading Claude limits…"_s,
                kCheckAgain, 0, paneStyle::cardBase()},
        PaneRow{"FiveHourAndWeekly", State::Pair, kCodex, QString(), kCheckAgain, 2, QColor()},
        PaneRow{"WeeklyOnly", State::Weekly, kCodex, QString(), QString(), 1, QColor()},
        PaneRow{"SignInCodeOverCodex", State::SignIn, kCodex, u"One-time code ABCD-1234"_s,
                QString(), 0, paneStyle::cardBase()},
        PaneRow{"SignInLeavesClaudeAlone", State::SignIn, kClaude, QString(),
                u"One-time code ABCD-1234"_s, 2, QColor()},
        PaneRow{"ErrorOverCards", State::Error, kCodex, u"Codex went away"_s, QString(), 2,
                QColor()}),
    rowName);

class MainWindowTest : public test::StoreFixture {};

}  // namespace

TEST_F(MainWindowTest, ShowMainWindowReusesTheOpenWindowAndKeysReachTheirActions) {
    UsageStore& store = makeStore();
    test::FakePhone phone(clock, standard);
    MainWindowController controller(store, phone.link, *signIn, clock);
    QSignalSpy settings(&controller, &MainWindowController::settingsRequested);
    controller.showMainWindow();
    QPointer<RootView> window = controller.window();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->windowTitle(), u"Quotamind"_s);
    EXPECT_EQ(window->size(), RootView::kDefaultSize);
    controller.showMainWindow();
    EXPECT_EQ(controller.window(), window);

    // The cards' fills follow the desktop's colours: the README's pictures, kept where
    // QUOTAMIND_SCREENSHOT_DIR says.
    store.apply(test::usage("codex", {test::fiveHour(28), test::weekly(61)}),
                SessionStatus::LocalPrimary);
    store.apply(test::usage("claude", {test::fiveHour(12)}), SessionStatus::LocalPrimary);
    const QString folder = qEnvironmentVariable("QUOTAMIND_SCREENSHOT_DIR");
    const QPalette light = QApplication::palette();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? QPalette(QColor(44, 44, 46), QColor(30, 30, 32)) : light);
        QCoreApplication::processEvents();
        const QImage image = window->grab().toImage();
        EXPECT_EQ(image.pixelColor(100, image.height() - 40).lightness() < 128, dark) << "a fill";
        if (!folder.isEmpty()) {
            image.save(folder + (dark ? u"/main-window-dark.png"_s : u"/main-window-light.png"_s));
        }
    }
    QApplication::setPalette(light);

    QTest::keyClick(window, Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(settings.count(), 1);
    test::button(*window, u"Settings"_s)->click();
    EXPECT_EQ(settings.count(), 2);
    claude.script.answers = {test::Wait{5}};
    QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(store.isRefreshing());
    // The refresh button turns into an activity indicator that takes no clicks.
    EXPECT_FALSE(test::button(*window, u"Refresh"_s)->isEnabled());

    // Closing deletes the window; the next one starts again at Codex.
    test::button(*window, u"Claude"_s)->click();
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window);
    controller.showMainWindow();
    ASSERT_TRUE(controller.window());
    EXPECT_EQ(controller.window()->limitPane()->selectedProvider(), kCodex);
}
