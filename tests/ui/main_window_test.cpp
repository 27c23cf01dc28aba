#include "ui/mainwindow/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "app/client_adapters.h"
#include "core/deployment.h"
#include "fake_http_server.h"
#include "memory_secret_store.h"
#include "qr_reader.h"
#include "sources/codex/codex_auth_client.h"
#include "sources/codex/credentials_store.h"
#include "store/phone_fakes.h"
#include "store/phone_services.h"
#include "store/store_fixture.h"
#include "support/named_rows.h"
#include "support/usage_builder.h"
#include "ui/common/limit_meter_view.h"
#include "ui/common/pane_style.h"
#include "ui/mainwindow/limit_pane.h"
#include "ui/mainwindow/limit_views.h"
#include "ui/mainwindow/pairing_views.h"
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
        PaneRow{"SignInLeavesClaudeAlone", State::SignIn, kClaude, QString(),
                u"One-time code ABCD-1234"_s, 2, QColor()},
        PaneRow{"ErrorOverCards", State::Error, kCodex, u"Codex went away"_s, QString(), 2,
                QColor()}),
    rowName);

class MainWindowTest : public test::StoreFixture {};

TEST_F(MainWindowTest, ShowMainWindowReusesTheOpenWindowAndKeysReachTheirActions) {
    UsageStore& store = makeStore();
    test::FakePhone phone(clock, standard);
    MainWindowController controller(store, phone.link, *signIn, clock);
    QSignalSpy settings(&controller, &MainWindowController::settingsRequested);
    controller.showMainWindow();
    QPointer<RootView> window = controller.window();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    controller.showMainWindow();
    EXPECT_EQ(controller.window(), window);

    // The cards' fills follow the desktop's colours: the README's pictures, kept where
    // QUOTAMIND_SCREENSHOT_DIR says.
    store.apply(test::usage("codex", {test::fiveHour(28), test::weekly(61)}),
                SessionStatus::LocalPrimary);
    store.apply(test::usage("claude", {test::fiveHour(12)}), SessionStatus::LocalPrimary);
    const auto images = test::inBothSchemes(*window, u"main-window"_s, [](bool) { return true; });
    EXPECT_LT(images[1].pixelColor(100, images[1].height() - 40).lightness(), 128) << "a fill";

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

// The code as the pane shows it, scaled to its 224 pixels, with a little of the white around it.
QImage codeOnScreen(QWidget& pane) {
    const auto* code = pane.findChild<PairingQrCodeView*>();
    return code == nullptr ? QImage()
                           : pane.grab(QRect(code->mapTo(&pane, QPoint(-16, -16)),
                                             code->size() + QSize(32, 32)))
                                 .toImage();
}

// A real decoder reads the code off the screen, the phone peer pairs with what it read through
// the link's real server on loopback, and forgetting the phone brings a new code back.
TEST_F(MainWindowTest, APhonePairsWithTheCodeOnScreenAndForgettingItShowsANewOne) {
    if (!test::canReadQrCodes()) {
        GTEST_SKIP() << "zbarimg (Debian zbar-tools) is not installed";
    }
    LanPairingServers local({.clock = nullptr, .advertise = false, .bounds = {}, .port = 0});
    test::FakeWakeSender wake(clock);
    MemorySecretStore secrets;
    PhoneLink link({clock, local, wake, secrets, standard});
    link.start(std::nullopt);
    ASSERT_TRUE(test::processEventsUntil([&] { return local.latest()->port() != 0; }));
    PairingPane pane(link);
    pane.resize(510, 680);
    pane.show();
    const std::optional<QString> code = test::readQrCode(codeOnScreen(pane));
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, link.pairingPayload().qrValue());

    QProcess phone;
    phone.start(QStringLiteral(QUOTAMIND_PHONE),
                {u"--host"_s, u"127.0.0.1"_s, u"--port"_s, QString::number(local.latest()->port()),
                 u"--model"_s, u"iPhone15,2"_s, u"--count"_s, u"1"_s, *code});
    ASSERT_TRUE(test::processEventsUntil([&] { return link.pairedPhone().has_value(); }));
    // It stops after the first message, the one that says it is paired.
    ASSERT_TRUE(test::processEventsUntil([&] { return phone.state() == QProcess::NotRunning; }));
    EXPECT_EQ(phone.exitCode(), 0) << phone.readAllStandardError().toStdString();
    EXPECT_TRUE(test::shows(pane, u"iPhone15,2"_s));
    EXPECT_FALSE(test::shows(pane, u"QR code for pairing an iPhone"_s));

    test::button(pane, u"Disconnect iPhone"_s)->click();
    ASSERT_TRUE(test::processEventsUntil([&] { return !link.pairedPhone(); }));
    EXPECT_TRUE(test::shows(pane, u"Connect your iPhone"_s));
    const std::optional<QString> next = test::readQrCode(codeOnScreen(pane));
    EXPECT_NE(next, code);
    EXPECT_EQ(next, link.pairingPayload().qrValue());
}

TEST(PairingQrCodeTest, TextsThatCannotBeEncodedGiveNoImage) {
    EXPECT_TRUE(PairingQrCodeView::render(QString()).isNull());
    // Past the capacity of the largest code at level M.
    EXPECT_TRUE(PairingQrCodeView::render(QString(2400, QLatin1Char('x'))).isNull());
}

// From "Sign in with ChatGPT" to the code on screen, the clipboard, the sign-in page and back.
TEST_F(MainWindowTest, TheIssuersCodeShowsCopiesOpensAndCancels) {
    QNetworkAccessManager manager;
    HttpClient http(clock, manager);
    FakeHttpServer issuer;
    MemorySecretStore keyring;
    CredentialsStore credentials(keyring);
    CodexAuthClient client(issuer.origin(),
                           deployment::join(issuer.origin(), u"backend-api/usage"_s),
                           CodexAuthClient::kClientId, http, clock, credentials,
                           Preferences(directory.filePath(u"client.conf"_s)));
    AccountAdapter adapter(credentials, client);
    chatGPT = &adapter;
    makeStore();
    test::runTask(store->refresh());
    LimitPane pane(*store, *signIn, clock);
    pane.show();
    // Polls find the code not confirmed yet (404) until the sign-in is cancelled.
    issuer.enqueue(
        "/api/accounts/deviceauth/usercode",
        {.body = R"({"device_auth_id":"device-7","user_code":"QMND-2026","interval":5})"});

    test::button(pane, u"Sign in with ChatGPT"_s)->click();
    ASSERT_TRUE(
        test::processEventsUntil([&] { return test::shows(pane, u"One-time code QMND-2026"_s); }));
    EXPECT_TRUE(test::shows(pane, u"Waiting for authorization…"_s));

    QGuiApplication::clipboard()->setText(u"something older"_s);
    test::button(pane, u"Copy Code"_s)->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"QMND-2026"_s);

    test::UrlRecorder browser(u"http"_s);
    test::button(pane, u"Open Sign-In"_s)->click();
    EXPECT_EQ(browser.opened, QList<QUrl>{deployment::join(issuer.origin(), u"codex/device"_s)});

    // Cancel while the client waits the issuer's interval after its first poll, and let the
    // sign-in wind down, so nothing of it outlives the test.
    const auto waitsInterval = [&] { return clock.secondsUntilNextSleep() == 5; };
    ASSERT_TRUE(test::processEventsUntil(waitsInterval));
    test::button(pane, u"Cancel"_s)->click();
    ASSERT_TRUE(test::processEventsUntil([&] { return !waitsInterval(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(signIn->deviceCode());
    EXPECT_FALSE(test::shows(pane, u"One-time code QMND-2026"_s));
    EXPECT_TRUE(test::shows(pane, u"Connect Codex on this computer"_s));
}

}  // namespace
