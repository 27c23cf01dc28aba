#include <gtest/gtest.h>

#include <QNetworkDiskCache>

#include "account_test_support.h"
#include "model/shared_container.h"

namespace {

using test::AccountTest;
using test::failureOf;

const QByteArray kUsageBody =
    R"({"plan_type":"plus","rate_limit":{"primary_window":{"used_percent":42,)"
    R"("limit_window_seconds":18000,"reset_at":1700000000},"secondary_window":)"
    R"({"used_percent":7,"limit_window_seconds":604800,"reset_at":1700500000}}})";

CodexCredentials credentials(const char* accessToken, std::optional<QString> account = {}) {
    return {QStringLiteral("id-secret"), QString::fromUtf8(accessToken),
            QStringLiteral("refresh-secret"), std::move(account)};
}

class UsageTest : public AccountTest {
protected:
    std::vector<QByteArray> bearers() const {
        std::vector<QByteArray> found;
        for (const auto& request : requestsTo(kUsagePath)) {
            found.push_back(request.header("Authorization"));
        }
        return found;
    }
};

}  // namespace

TEST_F(UsageTest, DecodesWindowsShortestFirstClampedAndWithDuplicates) {
    struct Case {
        const char* rateLimit;
        std::vector<UsageWindow> windows;
    };
    auto at = [](double unix) { return Timestamp::fromUnixSeconds(unix); };
    const Case cases[] = {
        {R"({"primary_window":{"used_percent":42,"limit_window_seconds":18000,"reset_at":10},)"
         R"("secondary_window":{"used_percent":7,"limit_window_seconds":604800,"reset_at":20}})",
         {{42, 18000, at(10)}, {7, 604800, at(20)}}},
        {R"({"primary_window":{"used_percent":120,"limit_window_seconds":604800,"reset_at":20},)"
         R"("secondary_window":{"used_percent":-1,"limit_window_seconds":18000,"reset_at":10}})",
         {{0, 18000, at(10)}, {100, 604800, at(20)}}},
        {R"({"primary_window":{"used_percent":1,"limit_window_seconds":60,"reset_at":1},)"
         R"("secondary_window":{"used_percent":2,"limit_window_seconds":60,"reset_at":2}})",
         {{1, 60, at(1)}, {2, 60, at(2)}}},
        {R"({"secondary_window":{"used_percent":5,"limit_window_seconds":0,"reset_at":0}})",
         {{5, 0, at(0)}}},
        {R"({"primary_window":null,"secondary_window":{"used_percent":5.0,)"
         R"("limit_window_seconds":18000,"reset_at":1e3}})",
         {{5, 18000, at(1000)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rateLimit);
        const QByteArray body =
            QByteArray(R"({"plan_type":"pro","rate_limit":)") + c.rateLimit + '}';
        const AgentUsage usage = m_client.decodeUsage(body, UsageSource::accountSession);
        EXPECT_EQ(usage.windows, c.windows);
        EXPECT_EQ(usage.provider, AgentProvider::codex());
        EXPECT_EQ(usage.agentName, "Codex");
        EXPECT_EQ(usage.planType, "pro");
        EXPECT_EQ(usage.updatedAt, m_clock.now());
        EXPECT_EQ(usage.source, UsageSource::accountSession);
    }
}

TEST_F(UsageTest, UsageBodiesWithoutWindowsOrWithBadFieldsFail) {
    struct Case {
        const char* body;
        bool noRateLimit;  // otherwise a decoding error
    };
    const Case cases[] = {
        {R"({"plan_type":"plus","rate_limit":null})", true},
        {R"({"plan_type":"plus"})", true},
        {R"({"plan_type":"plus","rate_limit":{}})", true},
        {R"({"plan_type":"plus","rate_limit":{"primary_window":null}})", true},
        {R"({"rate_limit":{}})", false},
        {R"({"plan_type":3,"rate_limit":{}})", false},
        {R"({"plan_type":"plus","rate_limit":[]})", false},
        {R"({"plan_type":"plus","rate_limit":{"primary_window":{"used_percent":"4",)"
         R"("limit_window_seconds":1,"reset_at":1}}})",
         false},
        {R"({"plan_type":"plus","rate_limit":{"primary_window":{"used_percent":4,)"
         R"("reset_at":1}}})",
         false},
        {R"({"plan_type":"plus","rate_limit":{"primary_window":{"used_percent":4.5,)"
         R"("limit_window_seconds":1,"reset_at":1}}})",
         false},
        {"not json", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        respond(kUsagePath, 200, c.body);
        if (c.noRateLimit) {
            const auto error = failureOf<CodexClientError>(
                m_client.fetchUsage(credentials("access-secret"), true));
            ASSERT_TRUE(error);
            EXPECT_EQ(error->localizedDescription(),
                      QStringLiteral("No Codex rate-limit window is available for this account."));
        } else {
            failureOf<json::DecodingError>(m_client.fetchUsage(credentials("access-secret"), true));
        }
    }
    EXPECT_FALSE(SharedContainer::loadSnapshot(m_snapshotPreferences).has_value());
    respond(kUsagePath, 200,
            R"({"plan_type":"","rate_limit":{"primary_window":)"
            R"({"used_percent":1,"limit_window_seconds":1,"reset_at":1}}})");
    EXPECT_EQ(test::runTask(m_client.fetchUsage(credentials("access-secret"), true)).planType, "");
}

TEST_F(UsageTest, TheRequestCarriesTheTokenAndOnlyANonEmptyAccountHeaderAndSkipsCaches) {
    // Answers that a cache would keep for an hour; every usage request still reaches the server.
    QTemporaryDir cacheFolder;
    auto* cache = new QNetworkDiskCache(&m_manager);
    cache->setCacheDirectory(cacheFolder.path());
    m_manager.setCache(cache);
    const FakeHttpServer::Response cacheable{
        .status = 200,
        .body = kUsageBody,
        .headers = {{"Content-Type", "application/json"},
                    {"Cache-Control", "public, max-age=3600"}}};
    const std::optional<QString> accounts[] = {QStringLiteral("acct-1"), QString(), std::nullopt};
    for (const auto& account : accounts) {
        m_server.enqueue(kUsagePath, cacheable);
        test::runTask(m_client.fetchUsage(credentials("access-secret", account), true));
    }
    const auto requests = requestsTo(kUsagePath);
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.header("Authorization"), "Bearer access-secret");
        EXPECT_EQ(request.header("User-Agent"), "Quotamind/1.0");
    }
    EXPECT_EQ(requests[0].header("ChatGPT-Account-Id"), "acct-1");
    EXPECT_TRUE(requests[1].header("ChatGPT-Account-Id").isNull());
    EXPECT_TRUE(requests[2].header("ChatGPT-Account-Id").isNull());

    const HttpRequest request = m_client.makeUsageRequest(QStringLiteral("t"), std::nullopt);
    EXPECT_TRUE(request.ignoreCaches);
    EXPECT_EQ(request.timeoutSeconds, 15.0);
}

TEST_F(UsageTest, UnauthorizedUsageRefreshesOnceAndFallsBackToCredentialsStoredElsewhere) {
    const QByteArray refreshed = R"({"access_token":"new-access-secret"})";
    struct Case {
        const char* name;
        std::vector<int> usageStatuses;  // each 200 carries kUsageBody
        std::vector<int> refreshStatuses;
        const char* storedBefore;  // access token already in the store, or nullptr
        bool retryAfterRefresh;
        std::vector<QByteArray> bearers;
        int failureStatus;  // 0: the usage is returned
        const char* storedAfter;
    };
    const Case cases[] = {
        {"refresh, then success",
         {401, 200},
         {200},
         nullptr,
         true,
         {"Bearer access-secret", "Bearer new-access-secret"},
         0,
         "new-access-secret"},
        {"no retry allowed", {401}, {}, nullptr, false, {"Bearer access-secret"}, 401, nullptr},
        {"refresh refused, another process stored new tokens",
         {401, 200},
         {400},
         "other-access",
         true,
         {"Bearer access-secret", "Bearer other-access"},
         0,
         "other-access"},
        {"refresh refused, the store holds the same token",
         {401},
         {400},
         "access-secret",
         true,
         {"Bearer access-secret"},
         400,
         "access-secret"},
        {"refresh refused, nothing stored",
         {401},
         {400},
         nullptr,
         true,
         {"Bearer access-secret"},
         400,
         nullptr},
        {"refreshed token also refused, stored one tried last",
         {401, 401, 401},
         {200},
         nullptr,
         true,
         {"Bearer access-secret", "Bearer new-access-secret", "Bearer new-access-secret"},
         401,
         "new-access-secret"},
        {"other statuses are not retried",
         {500},
         {},
         nullptr,
         true,
         {"Bearer access-secret"},
         500,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHttpServer server;
        MemorySecretStore secrets;
        CredentialsStore store(secrets);
        CodexAuthClient client(
            server.origin(),
            deployment::join(server.origin(), QStringLiteral("backend-api/wham/usage")),
            CodexAuthClient::kClientID, m_http, m_clock, store, m_snapshotPreferences);
        for (const int status : c.usageStatuses) {
            server.enqueue(
                kUsagePath,
                {.status = status, .body = status == 200 ? kUsageBody : R"({"message":"denied"})"});
        }
        for (const int status : c.refreshStatuses) {
            server.enqueue(kTokenPath, {.status = status, .body = refreshed});
        }
        if (c.storedBefore != nullptr) {
            test::runTask(store.save(credentials(c.storedBefore)));
        }
        auto fetching = client.fetchUsage(credentials("access-secret"), c.retryAfterRefresh);
        if (c.failureStatus == 0) {
            EXPECT_EQ(test::runTask(std::move(fetching)).planType, "plus");
        } else {
            const auto error = failureOf<CodexClientError>(std::move(fetching));
            ASSERT_TRUE(error);
            EXPECT_EQ(error->status(), c.failureStatus);
        }
        std::vector<QByteArray> sent;
        for (const auto& request : server.requests()) {
            if (request.path == kUsagePath) {
                sent.push_back(request.header("Authorization"));
            }
        }
        EXPECT_EQ(sent, c.bearers);
        const auto stored = test::runTask(store.load());
        EXPECT_EQ(stored ? stored->accessToken.toStdString() : std::string(),
                  c.storedAfter ? c.storedAfter : "");
    }
}

TEST_F(UsageTest, AFailingStoreDuringTheFallbackKeepsTheRefreshError) {
    respond(kUsagePath, 401, {});
    respond(kTokenPath, 400, R"({"error_description":"invalid_grant"})");
    m_secrets.failWith = SecretStoreError::accessDenied;
    const auto error =
        failureOf<CodexClientError>(m_client.fetchUsage(credentials("access-secret"), true));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), QStringLiteral("invalid_grant"));
}

TEST_F(UsageTest, SuccessReplacesTheCodexUsageInTheSharedSnapshot) {
    AgentUsage oldCodex = m_client.decodeUsage(kUsageBody, UsageSource::localDesktop);
    AgentUsage claude = oldCodex;
    claude.provider = AgentProvider::claude();
    claude.agentName = "Claude";
    SharedContainer::save(AgentUsageSnapshot({oldCodex, claude}), m_snapshotPreferences);

    m_clock.advance(30);
    respond(kUsagePath, 200, kUsageBody);
    const AgentUsage fresh = test::runTask(m_client.fetchUsage(credentials("access-secret"), true));
    EXPECT_EQ(SharedContainer::loadSnapshot(m_snapshotPreferences)->usages,
              (std::vector<AgentUsage>{claude, fresh}));

    respond(kUsagePath, 503, {});
    failureOf<CodexClientError>(m_client.fetchUsage(credentials("access-secret"), true));
    EXPECT_EQ(SharedContainer::loadSnapshot(m_snapshotPreferences)->usages,
              (std::vector<AgentUsage>{claude, fresh}));

    QTemporaryDir empty;
    const Preferences none(empty.path() + QStringLiteral("/group.conf"));
    CodexAuthClient client(m_server.origin(), m_client.usageURL(), CodexAuthClient::kClientID,
                           m_http, m_clock, m_credentials, none);
    const AgentUsage only = client.decodeUsage(kUsageBody, UsageSource::accountSession);
    EXPECT_EQ(SharedContainer::loadSnapshot(none)->usages, std::vector<AgentUsage>{only});
}

TEST_F(UsageTest, HangingOrOversizedAnswersFailWithTheNetworkError) {
    m_server.enqueue(kUsagePath, FakeHttpServer::Response::silence());
    test::StartedTask<AgentUsage> hanging(m_client.fetchUsage(credentials("access-secret"), true));
    ASSERT_TRUE(test::processEventsUntil([&] { return !m_server.requests().empty(); }));
    m_clock.advance(14.9);
    EXPECT_FALSE(hanging.isDone());
    m_clock.advance(0.1);
    ASSERT_TRUE(hanging.waitUntilDone());
    EXPECT_THROW(hanging.get(), NetworkError);

    respond(kUsagePath, 200, QByteArray(HttpClient::kMaxBodyBytes + 1, ' '));
    const auto error =
        failureOf<NetworkError>(m_client.fetchUsage(credentials("access-secret"), true));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), NetworkError::Code::responseTooLarge);
}
