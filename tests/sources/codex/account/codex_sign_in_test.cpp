#include <gtest/gtest.h>

#include "account_test_support.h"

namespace {

using test::AccountTest;
using test::failureOf;

CodexDeviceCode deviceCode(std::uint64_t interval) {
    return {.verificationURL = {},
            .userCode = QStringLiteral("ABCD-1234"),
            .deviceAuthID = QStringLiteral("device-1"),
            .intervalSeconds = interval};
}

// A request's own time-out watchdog also sleeps on the clock (60 s), so the poll's wait is
// recognised by its length.
class SignInTest : public AccountTest {
protected:
    bool awaitWait(double seconds) {
        return test::processEventsUntil([&] { return m_clock.secondsUntilNextSleep() == seconds; });
    }
};

const QByteArray kAuthorization =
    R"({"authorization_code":"code+1","code_challenge":"ch","code_verifier":"ver/=&"})";

}  // namespace

TEST_F(SignInTest, DeviceCodeReadsTheUserCodeAndTheIntervalLeniently) {
    const struct {
        const char* body;
        const char* userCode;  // nullptr: the decode fails
        std::uint64_t interval;
    } cases[] = {
        {R"({"device_auth_id":"d","user_code":"U","interval":5})", "U", 5},
        {R"({"device_auth_id":"d","usercode":"X","interval":" 7\n"})", "X", 7},
        {R"({"device_auth_id":"d","user_code":"U","usercode":"X","interval":"+9"})", "U", 9},
        {R"({"device_auth_id":"d","user_code":null,"usercode":"X","interval":3.0})", "X", 3},
        {R"({"device_auth_id":"d","user_code":"U","interval":"soon"})", "U", 5},
        {R"({"device_auth_id":"d","user_code":"U","interval":"99999999999999999999"})", "U", 5},
        {R"({"device_auth_id":"d","user_code":"U","interval":0})", "U", 1},
        {R"({"device_auth_id":"d","user_code":"U"})", nullptr, 0},
        {R"({"device_auth_id":"d","user_code":"U","interval":-1})", nullptr, 0},
        {R"({"device_auth_id":"d","user_code":"U","interval":2.5})", nullptr, 0},
        {R"({"device_auth_id":"d","user_code":"U","interval":null})", nullptr, 0},
        {R"({"device_auth_id":"d","interval":5})", nullptr, 0},
        {R"({"device_auth_id":"d","user_code":7,"interval":5})", nullptr, 0},
        {R"(["device_auth_id"])", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        respond(kUserCodePath, 200, c.body);
        if (c.userCode == nullptr) {
            failureOf<json::DecodingError>(m_client.requestDeviceCode());
            continue;
        }
        const CodexDeviceCode code = test::runTask(m_client.requestDeviceCode());
        EXPECT_EQ(code.userCode, QString::fromUtf8(c.userCode));
        EXPECT_EQ(code.intervalSeconds, c.interval);
        EXPECT_EQ(code.deviceAuthID, QStringLiteral("d"));
        EXPECT_EQ(code.verificationURL,
                  m_server.origin().resolved(QUrl(QStringLiteral("/codex/device"))));
    }
    const auto request = requestsTo(kUserCodePath).front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.body, R"({"client_id":"app_Rk4vTq9WnZ2cXs7pLm3hJdYb"})");
}

TEST_F(SignInTest, PollingWaitsTheIntervalOnlyAfterForbiddenOrNotFound) {
    respond(kPollPath, 403, {});
    respond(kPollPath, 404, {});
    respond(kPollPath, 200, kAuthorization);
    test::StartedTask<CodexAuthClient::AuthorizationResponse> polling(
        m_client.pollForAuthorization(deviceCode(7)));
    // The first poll goes out at once; each later one after exactly one interval.
    for (std::size_t poll = 1; poll <= 2; ++poll) {
        ASSERT_TRUE(awaitWait(7));
        EXPECT_EQ(requestsTo(kPollPath).size(), poll);
        m_clock.advance(7);
    }
    ASSERT_TRUE(polling.waitUntilDone());
    EXPECT_EQ(polling.get(),
              (CodexAuthClient::AuthorizationResponse{
                  QStringLiteral("code+1"), QStringLiteral("ch"), QStringLiteral("ver/=&")}));
    const auto polls = requestsTo(kPollPath);
    ASSERT_EQ(polls.size(), 3u);
    for (const auto& poll : polls) {
        EXPECT_EQ(poll.header("Content-Type"), "application/json");
        EXPECT_EQ(poll.body, R"({"device_auth_id":"device-1","user_code":"ABCD-1234"})");
    }
}

TEST_F(SignInTest, PollingEndsAtOnceOnOtherStatusesAndBadAuthorizations) {
    respond(kPollPath, 400, R"({"error_description":"bad code","message":"m"})");
    const auto error = failureOf<CodexClientError>(m_client.pollForAuthorization(deviceCode(5)));
    EXPECT_EQ(error.status(), 400);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("bad code"));

    respond(kPollPath, 200, R"({"authorization_code":"c","code_verifier":"v"})");
    failureOf<json::DecodingError>(m_client.pollForAuthorization(deviceCode(5)));
    EXPECT_EQ(requestsTo(kPollPath).size(), 2u);
    EXPECT_EQ(m_clock.pendingSleepCount(), 0u);
}

TEST_F(SignInTest, PollingExpiresAfterFifteenMinutesWithoutWaitingPastThem) {
    // Unscripted polls are answered 404: the user never confirms. An interval of 400 s would
    // end its third wait at 1200 s; the sign-in still expires at 900 s.
    test::StartedTask<CodexAuthClient::AuthorizationResponse> polling(
        m_client.pollForAuthorization(deviceCode(400)));
    const double waits[] = {400, 400, 100};
    for (std::size_t poll = 1; poll <= 3; ++poll) {
        ASSERT_TRUE(awaitWait(waits[poll - 1]));
        EXPECT_EQ(requestsTo(kPollPath).size(), poll);
        m_clock.advance(waits[poll - 1]);
    }
    ASSERT_TRUE(polling.waitUntilDone());
    EXPECT_EQ(m_clock.now() - Timestamp(788918400.0), 900.0);
    EXPECT_EQ(requestsTo(kPollPath).size(), 3u);
    EXPECT_EQ(test::errorOf<CodexClientError>([&] { polling.get(); }).localizedDescription(),
              QStringLiteral("The sign-in code expired. Start again."));
}

TEST_F(SignInTest, CancellingEndsThePollingDuringItsWait) {
    CancellationToken token;
    test::StartedTask<CodexAuthClient::AuthorizationResponse> polling(
        m_client.pollForAuthorization(deviceCode(5), token));
    ASSERT_TRUE(awaitWait(5));
    token.cancel();
    ASSERT_TRUE(polling.waitUntilDone());
    EXPECT_THROW(polling.get(), CancelledError);
    m_clock.advance(60);
    EXPECT_EQ(requestsTo(kPollPath).size(), 1u);

    failureOf<CancelledError>(m_client.pollForAuthorization(deviceCode(5), token));
    EXPECT_EQ(requestsTo(kPollPath).size(), 1u);
}

TEST_F(SignInTest, ExchangeSendsAnEscapedFormAndReadsTheAccount) {
    const QString idToken = test::identityTokenForAccount("acct-7");
    respond(kTokenPath, 200,
            QStringLiteral(R"({"id_token":"%1","access_token":"access-secret",)"
                           R"("refresh_token":"refresh-secret"})")
                .arg(idToken)
                .toUtf8());
    const CodexCredentials credentials = test::runTask(m_client.exchange(
        {QStringLiteral("code+1 &x=y"), QStringLiteral("ch"), QStringLiteral("ver/=&")}));
    EXPECT_EQ(credentials,
              (CodexCredentials{idToken, QStringLiteral("access-secret"),
                                QStringLiteral("refresh-secret"), QStringLiteral("acct-7")}));
    const auto request = requestsTo(kTokenPath).front();
    EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
    const QByteArray redirect = QUrl::toPercentEncoding(m_server.origin().toString() +
                                                        QStringLiteral("/deviceauth/callback"));
    EXPECT_EQ(request.body,
              "grant_type=authorization_code&code=code%2B1%20%26x%3Dy&redirect_uri=" + redirect +
                  "&client_id=app_Rk4vTq9WnZ2cXs7pLm3hJdYb&code_verifier=ver%2F%3D%26");
    EXPECT_FALSE(CodexAuthClient::formBody({}).has_value());
    EXPECT_TRUE(m_secrets.calls == 0) << "the exchange alone stores nothing";

    respond(kTokenPath, 200, R"({"id_token":"i","access_token":"a"})");
    failureOf<json::DecodingError>(m_client.exchange({}));
}

TEST_F(SignInTest, ServerErrorsPreferTheDisplayMessageThenTheDescription) {
    const char* const fallback = "OpenAI request failed (HTTP 502).";
    const std::pair<QByteArray, const char*> cases[] = {
        {R"({"error_description":"desc","message":"msg"})", "desc"},
        {R"({"display_message":"shown","error_description":"desc"})", "shown"},
        {R"({"message":"msg"})", "msg"},
        {R"({"message":null,"error_description":"desc"})", "desc"},
        {"<html>bad gateway</html>", fallback},
        {R"({"message":42,"error_description":"desc"})", fallback},
        {R"({"other":"x"})", fallback},
    };
    for (const auto& [body, text] : cases) {
        const CodexClientError error = CodexAuthClient::serverError(502, body);
        EXPECT_EQ(error.status(), 502);
        EXPECT_EQ(error.localizedDescription(), QString::fromUtf8(text)) << body.toStdString();
    }
}

TEST_F(SignInTest, AccountIdentifierComesOnlyFromAWellFormedIdentityToken) {
    const std::string claim = R"({"https://api.openai.com/auth":{"chatgpt_account_id":"acct"}})";
    const std::pair<QString, std::optional<QString>> cases[] = {
        {test::identityToken(claim), QStringLiteral("acct")},
        // 62 payload bytes: Base64 of length 83 needs two padding characters.
        {test::identityToken(R"({"https://api.openai.com/auth":{"chatgpt_account_id":"ab"}} )"),
         QStringLiteral("ab")},
        {test::identityToken(claim).replace(QStringLiteral(".c2ln"), QStringLiteral("..c2ln.")),
         QStringLiteral("acct")},
        {test::identityToken(claim).section(QLatin1Char('.'), 0, 1), std::nullopt},
        {test::identityToken(claim) + QStringLiteral(".more"), std::nullopt},
        {QStringLiteral("a.b*d.c"), std::nullopt},
        {QStringLiteral("a.Zm9vYmFy=x.c"), std::nullopt},
        {QStringLiteral("a.YQ.c"), std::nullopt},  // "a": not JSON
        {test::identityToken("[1,2]"), std::nullopt},
        {test::identityToken(R"({"https://api.openai.com/auth":{}})"), std::nullopt},
        {test::identityToken(R"({"https://api.openai.com/auth":{"chatgpt_account_id":7}})"),
         std::nullopt},
        {test::identityToken(R"({"chatgpt_account_id":"acct"})"), std::nullopt},
        {QString(), std::nullopt},
    };
    for (const auto& [token, account] : cases) {
        EXPECT_EQ(CodexAuthClient::accountID(token), account) << token.toStdString();
    }
}

TEST_F(SignInTest, RefreshMergesWhatTheIssuerSendsAndSavesIt) {
    const QString oldId = test::identityTokenForAccount("old-acct");
    const QString newId = test::identityTokenForAccount("new-acct");
    const QString idWithoutClaim = test::identityToken(R"({"sub":"x"})");
    const CodexCredentials old{oldId, QStringLiteral("access-secret"),
                               QStringLiteral("refresh-secret"), QStringLiteral("old-acct")};
    const std::pair<QString, CodexCredentials> cases[] = {
        {QStringLiteral(R"({"access_token":"new-access-secret"})"),
         {oldId, QStringLiteral("new-access-secret"), old.refreshToken, old.accountID}},
        {QStringLiteral(R"({"id_token":"%1"})").arg(idWithoutClaim),
         {idWithoutClaim, old.accessToken, old.refreshToken, old.accountID}},
        {QStringLiteral(R"({"id_token":"%1","access_token":"a2","refresh_token":"r2"})").arg(newId),
         {newId, QStringLiteral("a2"), QStringLiteral("r2"), QStringLiteral("new-acct")}},
        {QStringLiteral(R"({"id_token":null,"refresh_token":"r3"})"),
         {oldId, old.accessToken, QStringLiteral("r3"), old.accountID}},
        {QStringLiteral("{}"), old},
    };
    for (const auto& [body, expected] : cases) {
        SCOPED_TRACE(body.toStdString());
        respond(kTokenPath, 200, body.toUtf8());
        EXPECT_EQ(test::runTask(m_client.refresh(old)), expected);
        EXPECT_EQ(storedCredentials(), expected);
    }
    const auto request = requestsTo(kTokenPath).front();
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.body, R"({"client_id":"app_Rk4vTq9WnZ2cXs7pLm3hJdYb",)"
                            R"("grant_type":"refresh_token","refresh_token":"refresh-secret"})");

    // A bad body or a refused save leaves the stored credentials as they were.
    test::runTask(m_credentials.save(old));
    respond(kTokenPath, 200, R"({"access_token":"a4","refresh_token":5})");
    failureOf<json::DecodingError>(m_client.refresh(old));
    respond(kTokenPath, 401, R"({"error_description":"refresh token expired"})");
    EXPECT_EQ(failureOf<CodexClientError>(m_client.refresh(old)).localizedDescription(),
              QStringLiteral("refresh token expired"));
    EXPECT_EQ(storedCredentials(), old);
    m_secrets.failWith = SecretStoreError::accessDenied;
    respond(kTokenPath, 200, R"({"access_token":"a5"})");
    EXPECT_EQ(failureOf<CodexClientError>(m_client.refresh(old)).localizedDescription(),
              QStringLiteral("Keychain error -25293."));
}

TEST_F(SignInTest, SignInRequestsTimeOutAfterSixtySecondsOnTheClock) {
    m_server.enqueue(kUserCodePath, FakeHttpServer::Response::silence());
    test::expectTimeOutAfter(60, m_client.requestDeviceCode(), m_server, m_clock);
}
