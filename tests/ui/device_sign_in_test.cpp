#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QNetworkAccessManager>

#include "app/client_adapters.h"
#include "core/deployment.h"
#include "fake_http_server.h"
#include "memory_secret_store.h"
#include "sources/codex/codex_auth_client.h"
#include "sources/codex/credentials_store.h"
#include "store/store_fixture.h"
#include "ui/mainwindow/limit_pane.h"
#include "window_test_support.h"

using namespace Qt::StringLiterals;

namespace {

class DeviceSignInTest : public test::StoreFixture {};

}  // namespace

// From "Sign in with ChatGPT" to the code on screen, the clipboard, the sign-in page and back.
TEST_F(DeviceSignInTest, TheIssuersCodeShowsCopiesOpensAndCancels) {
    QNetworkAccessManager manager;
    HttpClient http(clock, manager);
    FakeHttpServer issuer;
    MemorySecretStore keyring;
    CredentialsStore credentials(keyring);
    CodexAuthClient client(issuer.origin(),
                           deployment::join(issuer.origin(), u"backend-api/usage"_s),
                           CodexAuthClient::kClientId, http, clock, credentials,
                           Preferences(directory.filePath(u"client.conf"_s)));
    AccountAdapter chatGPT(credentials, client);
    store = std::make_unique<UsageStore>(UsageStore::Services{clock, appServer, authFile, chatGPT,
                                                              claude, followers, followers,
                                                              followers, autostart, preferences});
    CodexSignIn chatGPTSignIn(chatGPT, *store);
    test::runTask(store->refresh());
    LimitPane pane(*store, chatGPTSignIn, clock);
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
    EXPECT_FALSE(chatGPTSignIn.deviceCode());
    EXPECT_FALSE(test::shows(pane, u"One-time code QMND-2026"_s));
    EXPECT_TRUE(test::shows(pane, u"Connect Codex on this computer"_s));
}
