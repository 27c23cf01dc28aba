#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QTemporaryDir>

#include "core/deployment.h"
#include "core/json.h"
#include "fake_http_server.h"
#include "memory_secret_store.h"
#include "model/shared_snapshot_store.h"
#include "sources/codex/codex_auth_client.h"
#include "sources/codex/codex_auth_file_error.h"
#include "sources/codex/codex_auth_file_usage_client.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace {

constexpr const char* kUserCodePath = "/api/accounts/deviceauth/usercode";
constexpr const char* kPollPath = "/api/accounts/deviceauth/token";
constexpr const char* kTokenPath = "/oauth/token";
constexpr const char* kUsagePath = "/backend-api/wham/usage";

const QByteArray kUsageBody =
    R"({"plan_type":"plus","rate_limit":{"primary_window":{"used_percent":42,)"
    R"("limit_window_seconds":18000,"reset_at":1700000000},"secondary_window":)"
    R"({"used_percent":7,"limit_window_seconds":604800,"reset_at":1700500000}}})";

// Every token handed out here ends in "-secret", and none may show up in an error text.
void expectNoToken(const std::exception& error) {
    EXPECT_EQ(std::string(error.what()).find("-secret"), std::string::npos) << error.what();
}

// The exception of type E that the task ends with.
template <typename E, typename T>
E failureOf(QCoro::Task<T> task) {
    E error = test::errorOf<E>(std::move(task));
    expectNoToken(error);
    return error;
}

CodexCredentials credentials(const char* accessToken, std::optional<QString> account = {}) {
    return {QStringLiteral("id-secret"), QString::fromUtf8(accessToken),
            QStringLiteral("refresh-secret"), std::move(account)};
}

// A JWT-shaped identity token whose payload is `claims` (Base64url without padding).
QString identityToken(const std::string& claims) {
    const QByteArray payload = QByteArray::fromStdString(claims).toBase64(
        QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    return QStringLiteral("eyJhbGciOiJub25lIn0.%1.c2ln").arg(QString::fromLatin1(payload));
}

QString identityTokenForAccount(const std::string& account) {
    return identityToken(R"({"https://api.openai.com/auth":{"chatgpt_account_id":")" + account +
                         R"("}})");
}

CodexDeviceCode deviceCode(std::uint64_t interval) {
    return {{}, QStringLiteral("ABCD-1234"), QStringLiteral("device-1"), interval};
}

// One loopback server acting as both the issuer and the ChatGPT backend, a manual clock, and
// credentials kept in memory.
class AccountTest : public ::testing::Test {
protected:
    void respond(const char* path, int status, const QByteArray& body) {
        m_server.enqueue(path, {.status = status, .body = body});
    }
    // The requests to `path`, from the `first` request to the server on.
    std::vector<FakeHttpServer::Request> requestsTo(const char* path, std::size_t first = 0) const {
        std::vector<FakeHttpServer::Request> found;
        std::copy_if(m_server.requests().begin() + static_cast<std::ptrdiff_t>(first),
                     m_server.requests().end(), std::back_inserter(found),
                     [&](const auto& request) { return request.path == path; });
        return found;
    }
    std::optional<CodexCredentials> storedCredentials() {
        return test::runTask(m_credentials.load());
    }
    // A request's own time-out watchdog also sleeps on the clock (60 s), so the poll's wait is
    // recognised by its length.
    bool awaitWait(double seconds) {
        return test::processEventsUntil([&] { return m_clock.secondsUntilNextSleep() == seconds; });
    }

    // What a fetch from Codex's auth file ends with: the headers sent, or the kind of error.
    std::string fileOutcome() {
        try {
            EXPECT_EQ(test::runTask(m_fileClient.fetchUsage()).source, UsageSource::LocalDesktop);
            const auto request = m_server.requests().back();
            return (request.header("Authorization") + ' ' + request.header("ChatGPT-Account-Id"))
                .toStdString();
        } catch (const CodexAuthFileError& error) {
            expectNoToken(error);
            return error.code() == CodexAuthFileError::Code::NotFound ? "not found" : "invalid";
        } catch (const CodexClientError& error) {
            expectNoToken(error);
            return "status " + std::to_string(error.status());
        }
    }

    QTemporaryDir m_folder;
    ManualClock m_clock;
    QNetworkAccessManager m_manager;
    HttpClient m_http{m_clock, m_manager};
    FakeHttpServer m_server;
    MemorySecretStore m_secrets;
    CredentialsStore m_credentials{m_secrets};
    Preferences m_snapshotPreferences{m_folder.path() + QStringLiteral("/group.conf")};
    QUrl m_usageUrl = deployment::join(m_server.origin(), QString::fromLatin1(kUsagePath + 1));
    CodexAuthClient m_client{m_server.origin(), m_usageUrl,    CodexAuthClient::kClientId, m_http,
                             m_clock,           m_credentials, m_snapshotPreferences};
    QString m_codexHome = m_folder.path() + QStringLiteral("/codex-home");
    CodexAuthFileUsageClient m_fileClient{m_codexHome, m_client};
};

const QByteArray kAuthorization =
    R"({"authorization_code":"code+1","code_challenge":"ch","code_verifier":"ver/=&"})";

}  // namespace

TEST_F(AccountTest, DeviceCodeReadsTheUserCodeAndTheIntervalLeniently) {
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
        EXPECT_EQ(std::pair(code.userCode, code.intervalSeconds),
                  std::pair(QString::fromUtf8(userCode), interval))
            << body;
    }
}

// 404 (pending) waits in the expiry test below; any other failure ends the polling at once.
TEST_F(AccountTest, PollingWaitsTheIntervalOnlyAfterForbiddenOrNotFound) {
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

TEST_F(AccountTest, PollingExpiresAfterFifteenMinutesWithoutWaitingPastThem) {
    // Unscripted polls are answered 404: the user never confirms. An interval of 400 s would
    // end its third wait at 1200 s; the sign-in still expires at 900 s.
    test::StartedTask<CodexAuthClient::AuthorizationResponse> polling(
        m_client.pollForAuthorization(deviceCode(400)));
    for (const double wait : {400, 400, 100}) {
        ASSERT_TRUE(awaitWait(wait));
        m_clock.advance(wait);
    }
    ASSERT_TRUE(polling.waitUntilDone());
    EXPECT_EQ(requestsTo(kPollPath).size(), 3u);
    EXPECT_EQ(test::errorOf<CodexClientError>([&] { polling.get(); }).code(),
              CodexClientError::Code::SignInExpired);
}

// The form is escaped; the caller stores what the exchange makes.
TEST_F(AccountTest, ExchangeSendsAnEscapedFormAndReadsTheAccount) {
    const QString idToken = identityTokenForAccount("acct-7");
    respond(kTokenPath, 200,
            QStringLiteral(R"({"id_token":"%1","access_token":"a","refresh_token":"r"})")
                .arg(idToken)
                .toUtf8());
    EXPECT_EQ(test::runTask(m_client.exchange({QStringLiteral("code+1 &x=y"), {}, {}})),
              (CodexCredentials{idToken, QStringLiteral("a"), QStringLiteral("r"),
                                QStringLiteral("acct-7")}));
    EXPECT_TRUE(requestsTo(kTokenPath).front().body.contains("&code=code%2B1%20%26x%3Dy&"));
    EXPECT_EQ(m_secrets.calls, 0);
}

// A refresh spends the stored refresh token: cancelled once its request is out, it still saves
// the new ones. (An exchange saves nothing at all, cancelled or not.)
TEST_F(AccountTest, ARefreshCancelledInFlightStillSavesTheNewTokens) {
    FakeHttpServer::Response held{
        .status = 200, .body = R"({"id_token":"i","access_token":"a","refresh_token":"r2"})"};
    held.held = true;
    m_server.enqueue(kTokenPath, held);
    CancellationToken token;
    test::StartedTask<CodexCredentials> running(m_client.refresh({}, token));
    ASSERT_TRUE(test::processEventsUntil([&] { return !m_server.requests().empty(); }));
    token.cancel();
    m_server.answerHeld();
    ASSERT_TRUE(running.waitUntilDone());
    EXPECT_THROW(running.get(), CancelledError);
    EXPECT_EQ(storedCredentials()->refreshToken, QStringLiteral("r2"));
}

TEST_F(AccountTest, AccountIdentifierComesOnlyFromAWellFormedIdentityToken) {
    const QString good = identityTokenForAccount("acct");
    const std::pair<QString, std::optional<QString>> cases[] = {
        {good, QStringLiteral("acct")},
        {QString(good).replace(QStringLiteral(".c2ln"), QStringLiteral("..c2ln.")),
         QStringLiteral("acct")},
        {good + QStringLiteral(".more"), std::nullopt},
        {identityToken(R"({"chatgpt_account_id":"acct"})"), std::nullopt},
    };
    for (const auto& [token, account] : cases) {
        EXPECT_EQ(CodexAuthClient::accountId(token), account) << token.toStdString();
    }
}

TEST_F(AccountTest, RefreshMergesWhatTheIssuerSendsAndSavesIt) {
    const QString oldId = identityTokenForAccount("old-acct");
    const QString newId = identityTokenForAccount("new-acct");
    const QString idWithoutClaim = identityToken(R"({"sub":"x"})");
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

TEST_F(AccountTest, UsageWindowsComeShortestFirstClampedAndWithDuplicates) {
    auto at = [](double unix) { return Timestamp::fromUnixSeconds(unix); };
    const std::pair<const char*, std::vector<UsageWindow>> cases[] = {
        {R"({"primary_window":{"used_percent":120,"limit_window_seconds":604800,"reset_at":20},)"
         R"("secondary_window":{"used_percent":-1,"limit_window_seconds":18000,"reset_at":10}})",
         {{0, 18000, at(10)}, {100, 604800, at(20)}}},
        {R"({"primary_window":{"used_percent":1,"limit_window_seconds":60,"reset_at":1},)"
         R"("secondary_window":{"used_percent":2,"limit_window_seconds":60,"reset_at":2}})",
         {{1, 60, at(1)}, {2, 60, at(2)}}},
        {R"({"secondary_window":{"used_percent":5,"limit_window_seconds":0,"reset_at":1}})",
         {{5, 0, at(1)}}},
        {nullptr, {}},  // no rate limit at all
    };
    for (const auto& [rateLimit, windows] : cases) {
        const QByteArray body =
            rateLimit == nullptr ? QByteArray(R"({"plan_type":"plus"})")
                                 : QByteArray(R"({"plan_type":"","rate_limit":)") + rateLimit + '}';
        try {
            EXPECT_EQ(CodexAuthClient::decodeUsage(body, UsageSource::AccountSession, {}).windows,
                      windows);
        } catch (const CodexClientError& error) {
            EXPECT_TRUE(windows.empty() && error.code() == CodexClientError::Code::NoRateLimit);
        }
    }
}

TEST_F(AccountTest, TheUsageRequestCarriesTheAccountHeaderOnlyWithAnAccountAndSkipsCaches) {
    // Answers that a cache would keep for an hour; every usage request still reaches the server.
    QTemporaryDir cacheFolder;
    auto* cache = new QNetworkDiskCache(&m_manager);
    cache->setCacheDirectory(cacheFolder.path());
    m_manager.setCache(cache);
    const std::pair<std::optional<QString>, std::optional<QByteArray>> accounts[] = {
        {QStringLiteral("acct-1"), "acct-1"}, {QString(), std::nullopt}, {{}, std::nullopt}};
    for (const auto& [account, header] : accounts) {
        m_server.enqueue(kUsagePath, {.status = 200,
                                      .body = kUsageBody,
                                      .headers = {{"Content-Type", "application/json"},
                                                  {"Cache-Control", "public, max-age=3600"}}});
        const std::size_t first = m_server.requests().size();
        test::runTask(m_client.fetchUsage(credentials("access-secret", account), true));
        const auto sent = requestsTo(kUsagePath, first);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].header("Authorization"), "Bearer access-secret");
        EXPECT_EQ(sent[0].sentHeader("ChatGPT-Account-Id"), header);
    }
}

TEST_F(AccountTest, UnauthorizedUsageRefreshesOnceAndFallsBackToCredentialsStoredElsewhere) {
    constexpr const char* kOld = "access-secret";
    constexpr const char* kNew = "new-access-secret";  // what the refresh hands out
    constexpr const char* kOther = "other-secret";     // stored by another process
    const struct {
        const char* name;
        std::vector<int> usageStatuses;  // each 200 carries kUsageBody
        int refreshStatus;               // 0: no refresh expected
        const char* storedBefore;        // access token already in the store, or nullptr
        bool retryAfterRefresh;
        std::vector<const char*> bearers;
        int failureStatus;  // 0: the usage is returned; -1: the store fails
    } cases[] = {
        {"refreshed", {401, 200}, 200, nullptr, true, {kOld, kNew}, 0},
        {"no retry allowed", {401}, 0, nullptr, false, {kOld}, 401},
        {"refused, stored elsewhere", {401, 200}, 400, kOther, true, {kOld, kOther}, 0},
        {"refused, same token stored", {401}, 400, kOld, true, {kOld}, 400},
        {"refused, store fails", {401}, 400, nullptr, true, {kOld}, -1},
        {"both tokens refused", {401, 401, 401}, 200, nullptr, true, {kOld, kNew, kNew}, 401},
        {"other statuses not retried", {500}, 0, nullptr, true, {kOld}, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_secrets = MemorySecretStore();
        const std::size_t first = m_server.requests().size();
        for (const int status : c.usageStatuses) {
            respond(kUsagePath, status, status == 200 ? kUsageBody : R"({"message":"denied"})");
        }
        if (c.refreshStatus != 0) {
            respond(kTokenPath, c.refreshStatus,
                    R"({"access_token":"new-access-secret","error_description":"invalid_grant"})");
        }
        if (c.storedBefore != nullptr) {
            test::runTask(m_credentials.save(credentials(c.storedBefore)));
        }
        if (c.failureStatus < 0) {
            m_secrets.failWith = SecretStoreError::Status::AccessDenied;
        }
        auto fetching = m_client.fetchUsage(credentials(kOld), c.retryAfterRefresh);
        if (c.failureStatus == 0) {
            EXPECT_EQ(test::runTask(std::move(fetching)).planType, "plus");
        } else {
            // A failing store during the fallback keeps the refresh's own error.
            EXPECT_EQ(failureOf<CodexClientError>(std::move(fetching)).status(),
                      c.failureStatus < 0 ? 400 : c.failureStatus);
        }
        std::vector<QByteArray> sent;
        for (const auto& request : requestsTo(kUsagePath, first)) {
            sent.push_back(request.header("Authorization").mid(7));  // after "Bearer "
        }
        EXPECT_EQ(sent, std::vector<QByteArray>(c.bearers.begin(), c.bearers.end()));
        EXPECT_EQ(requestsTo(kTokenPath, first).size(), c.refreshStatus != 0 ? 1u : 0u);
    }
}

// How the snapshot orders and replaces usages is the snapshot's own rule; here: success saves,
// failure keeps what was there.
TEST_F(AccountTest, SuccessReplacesTheCodexUsageInTheSharedSnapshot) {
    const AgentUsage stale =
        CodexAuthClient::decodeUsage(kUsageBody, UsageSource::AccountSession, Timestamp());
    AgentUsage claude = stale;
    claude.provider = AgentProvider::claude();
    SharedSnapshotStore::save(AgentUsageSnapshot({stale, claude}), m_snapshotPreferences);
    respond(kUsagePath, 200, kUsageBody);
    respond(kUsagePath, 503, {});
    const AgentUsage fresh = test::runTask(m_client.fetchUsage(credentials("access-secret"), true));
    failureOf<CodexClientError>(m_client.fetchUsage(credentials("access-secret"), true));
    EXPECT_EQ(SharedSnapshotStore::loadSnapshot(m_snapshotPreferences)->usages,
              (std::vector<AgentUsage>{claude, fresh}));
}

TEST_F(AccountTest, AnEmptyCodexHomeCountsAsUnset) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("CODEX_HOME"), QString());
    EXPECT_EQ(CodexAuthFileUsageClient::codexHome(environment, QStringLiteral("/home/u")),
              QStringLiteral("/home/u/.codex"));
    environment.insert(QStringLiteral("CODEX_HOME"), QStringLiteral("relative/dir/"));
    EXPECT_EQ(CodexAuthFileUsageClient::codexHome(environment, QString()),
              QStringLiteral("relative/dir/"));
}

// The token borrowed from Codex's own file is used as it is, never refreshed. Each case: the
// file (nullptr: none), the usage status answered (0: no request), the headers sent or the error.
TEST_F(AccountTest, TheAuthFileTokenIsReadFromSnakeOrCamelCaseKeysAndNeverRefreshed) {
    const std::tuple<const char*, int, std::string> cases[] = {
        {nullptr, 0, "not found"},
        {R"({"tokens":"file-access-secret"})", 0, "invalid"},
        {R"({"tokens":{"access_token":"","accessToken":"file-access-secret"}})", 0, "invalid"},
        {R"({"OPENAI_API_KEY":null,"tokens":{"access_token":"file-access-secret",)"
         R"("account_id":"a1"}})",
         200, "Bearer file-access-secret a1"},
        {R"({"tokens":{"access_token":7,"accessToken":"camel","account_id":null,"accountId":"a3"}})",
         200, "Bearer camel a3"},
        {R"({"tokens":{"access_token":"expired-secret"}})", 401, "status 401"},
    };
    for (const auto& [file, status, outcome] : cases) {
        SCOPED_TRACE(outcome);
        if (file != nullptr) {
            QDir().mkpath(m_codexHome);
            QFile auth(m_codexHome + QStringLiteral("/auth.json"));
            ASSERT_TRUE(auth.open(QIODevice::WriteOnly | QIODevice::Truncate));
            auth.write(file);
        }
        if (status != 0) {
            respond(kUsagePath, status, kUsageBody);
        }
        const std::size_t first = m_server.requests().size();
        EXPECT_EQ(fileOutcome(), outcome);
        EXPECT_EQ(m_server.requests().size() - first, status != 0 ? 1u : 0u);
    }
    EXPECT_EQ(m_secrets.calls, 0);
}

TEST_F(AccountTest, CredentialsStoreKeepsOneItemInTheStoredFormAndFailsOnBadItemsOrAFailingStore) {
    EXPECT_FALSE(storedCredentials().has_value());
    // The documented keys, "accountID" only when there is one; unknown keys are ignored.
    test::runTask(m_credentials.save(credentials("a2")));
    EXPECT_EQ(test::runTask(m_secrets.find(CredentialsStore::kService, CredentialsStore::kAccount)),
              R"({"idToken":"id-secret","accessToken":"a2","refreshToken":"refresh-secret"})");
    test::runTask(m_credentials.save(credentials("access-secret", QStringLiteral("acct"))));
    EXPECT_EQ(storedCredentials(), credentials("access-secret", QStringLiteral("acct")));
    m_secrets.put(CredentialsStore::kService, CredentialsStore::kAccount,
                  R"({"idToken":"id-secret","accessToken":"a","refreshToken":"refresh-secret",)"
                  R"("accountID":null,"extra":1})");
    EXPECT_EQ(storedCredentials(), credentials("a"));
    m_secrets.put(CredentialsStore::kService, CredentialsStore::kAccount,
                  R"({"idToken":"i","accessToken":"a"})");
    EXPECT_THROW(storedCredentials(), json::DecodingError);
    test::runTask(m_credentials.deleteCredentials());
    test::runTask(m_credentials.deleteCredentials());
    EXPECT_FALSE(storedCredentials().has_value());

    m_secrets.failWith = SecretStoreError::Status::AccessDenied;
    using enum CodexClientError::Code;
    EXPECT_EQ(failureOf<CodexClientError>(m_credentials.load()).code(), SecretStore);
    EXPECT_EQ(failureOf<CodexClientError>(m_credentials.save(credentials("a"))).code(),
              SecretStore);
    EXPECT_EQ(failureOf<CodexClientError>(m_credentials.deleteCredentials()).code(), SecretStore);
}
