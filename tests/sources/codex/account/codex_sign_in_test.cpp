#include <gtest/gtest.h>

#include <functional>

#include "account_test_support.h"

namespace {

using test::AccountTest;
using test::failureOf;

CodexDeviceCode deviceCode(std::uint64_t interval) {
    return {{}, QStringLiteral("ABCD-1234"), QStringLiteral("device-1"), interval};
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
    // A body after "device_auth_id"; the user code read (nullptr: the decode fails), the interval.
    const std::tuple<const char*, const char*, std::uint64_t> cases[] = {
        {R"("user_code":"U","interval":5)", "U", 5},
        {R"("usercode":"X","interval":" 7\n")", "X", 7},
        {R"("user_code":"U","interval":"soon")", "U", 5},
        {R"("user_code":"U","interval":0)", "U", 1},
        {R"("user_code":"U")", nullptr, 0},
        {R"("interval":5)", nullptr, 0},
    };
    for (const auto& [body, userCode, interval] : cases) {
        respond(kUserCodePath, 200, QByteArray(R"({"device_auth_id":"d",)") + body + '}');
        if (userCode == nullptr) {
            failureOf<json::DecodingError>(m_client.requestDeviceCode());
            continue;
        }
        const CodexDeviceCode code = test::runTask(m_client.requestDeviceCode());
        EXPECT_EQ(code.userCode, QString::fromUtf8(userCode)) << body;
        EXPECT_EQ(code.intervalSeconds, interval) << body;
    }
}

// 404 (pending) waits in the expiry test below; any other failure ends the polling at once.
TEST_F(SignInTest, PollingWaitsTheIntervalOnlyAfterForbiddenOrNotFound) {
    respond(kPollPath, 403, {});
    respond(kPollPath, 200, kAuthorization);
    test::StartedTask<CodexAuthClient::AuthorizationResponse> polling(
        m_client.pollForAuthorization(deviceCode(7)));
    // The first poll goes out at once, the next after exactly one interval.
    ASSERT_TRUE(awaitWait(7));
    EXPECT_EQ(requestsTo(kPollPath).size(), 1u);
    m_clock.advance(7);
    ASSERT_TRUE(polling.waitUntilDone());
    EXPECT_EQ(polling.get().codeVerifier, QStringLiteral("ver/=&"));
    EXPECT_EQ(requestsTo(kPollPath).back().body,
              R"({"device_auth_id":"device-1","user_code":"ABCD-1234"})");

    respond(kPollPath, 400, R"({"error_description":"bad code"})");
    EXPECT_EQ(failureOf<CodexClientError>(m_client.pollForAuthorization(deviceCode(5))).status(),
              400);
    EXPECT_EQ(requestsTo(kPollPath).size(), 3u);
    EXPECT_EQ(m_clock.pendingSleepCount(), 0u);
}

TEST_F(SignInTest, PollingExpiresAfterFifteenMinutesWithoutWaitingPastThem) {
    // Unscripted polls are answered 404: the user never confirms. An interval of 400 s would
    // end its third wait at 1200 s; the sign-in still expires at 900 s.
    test::StartedTask<CodexAuthClient::AuthorizationResponse> polling(
        m_client.pollForAuthorization(deviceCode(400)));
    const double waits[] = {400, 400, 100};
    for (const double wait : waits) {
        ASSERT_TRUE(awaitWait(wait));
        m_clock.advance(wait);
    }
    ASSERT_TRUE(polling.waitUntilDone());
    EXPECT_EQ(requestsTo(kPollPath).size(), 3u);
    EXPECT_EQ(test::errorOf<CodexClientError>([&] { polling.get(); }).code(),
              CodexClientError::Code::SignInExpired);
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
    const QByteArray redirect = QUrl::toPercentEncoding(m_server.origin().toString() +
                                                        QStringLiteral("/deviceauth/callback"));
    EXPECT_EQ(requestsTo(kTokenPath).front().body,
              "grant_type=authorization_code&code=code%2B1%20%26x%3Dy&redirect_uri=" + redirect +
                  "&client_id=app_Rk4vTq9WnZ2cXs7pLm3hJdYb&code_verifier=ver%2F%3D%26");
    EXPECT_EQ(m_secrets.calls, 0) << "the caller stores what the exchange makes";
}

// Cancel signs nothing in; a refresh spends the stored refresh token, so it saves the new ones.
TEST_F(SignInTest, CancellingAnExchangeSavesNothingButARefreshSavesTheNewTokens) {
    const std::function<QCoro::Task<CodexCredentials>(CancellationToken)> operations[] = {
        [this](CancellationToken token) { return m_client.exchange({}, token); },
        [this](CancellationToken token) { return m_client.refresh({}, token); },
    };
    FakeHttpServer::Response held{
        .status = 200, .body = R"({"id_token":"i","access_token":"a","refresh_token":"r2"})"};
    held.held = true;
    for (const auto& operation : operations) {
        m_server.enqueue(kTokenPath, held);
        test::runTask(m_credentials.deleteCredentials());
        const std::size_t sent = m_server.requests().size();
        CancellationToken token;
        test::StartedTask<CodexCredentials> running(operation(token));
        ASSERT_TRUE(test::processEventsUntil([&] { return m_server.requests().size() > sent; }));
        token.cancel();
        m_server.answerHeld();
        ASSERT_TRUE(running.waitUntilDone());
        EXPECT_THROW(running.get(), CancelledError);
        EXPECT_EQ(storedCredentials().has_value(), &operation == &operations[1]);
    }
}

TEST_F(SignInTest, AccountIdentifierComesOnlyFromAWellFormedIdentityToken) {
    const std::string claim = R"({"https://api.openai.com/auth":{"chatgpt_account_id":"acct"}})";
    const std::pair<QString, std::optional<QString>> cases[] = {
        {test::identityToken(claim), QStringLiteral("acct")},
        {test::identityToken(claim).replace(QStringLiteral(".c2ln"), QStringLiteral("..c2ln.")),
         QStringLiteral("acct")},
        {test::identityToken(claim) + QStringLiteral(".more"), std::nullopt},
        {QStringLiteral("a.YQ.c"), std::nullopt},  // "a": not JSON
        {test::identityToken(R"({"chatgpt_account_id":"acct"})"), std::nullopt},
    };
    for (const auto& [token, account] : cases) {
        EXPECT_EQ(CodexAuthClient::accountId(token), account) << token.toStdString();
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
         {oldId, QStringLiteral("new-access-secret"), old.refreshToken, old.accountId}},
        {QStringLiteral(R"({"id_token":"%1"})").arg(idWithoutClaim),
         {idWithoutClaim, old.accessToken, old.refreshToken, old.accountId}},
        {QStringLiteral(R"({"id_token":"%1","access_token":"a2","refresh_token":"r2"})").arg(newId),
         {newId, QStringLiteral("a2"), QStringLiteral("r2"), QStringLiteral("new-acct")}},
    };
    for (const auto& [body, expected] : cases) {
        SCOPED_TRACE(body.toStdString());
        respond(kTokenPath, 200, body.toUtf8());
        EXPECT_EQ(test::runTask(m_client.refresh(old)), expected);
        EXPECT_EQ(storedCredentials(), expected);
    }
    EXPECT_TRUE(
        requestsTo(kTokenPath).front().body.contains(R"("refresh_token":"refresh-secret")"));
}
