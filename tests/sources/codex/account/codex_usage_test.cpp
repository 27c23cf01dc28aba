#include <gtest/gtest.h>

#include <QNetworkDiskCache>

#include "account_test_support.h"
#include "model/shared_snapshot_store.h"
#include "sources/codex/codex_auth_file_error.h"
#include "sources/codex/codex_auth_file_usage_client.h"

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
    QCoro::Task<AgentUsage> fetch() {
        return m_client.fetchUsage(credentials("access-secret"), true);
    }
};

class AuthFileTest : public AccountTest {
protected:
    QString home() const { return m_folder.path() + QStringLiteral("/codex-home"); }
    void writeAuthFile(const QByteArray& content) {
        QDir().mkpath(home());
        QFile file(home() + QStringLiteral("/auth.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    CodexAuthFileUsageClient m_fileClient{home(), m_client};
};

using CredentialsStoreTest = AccountTest;

}  // namespace

TEST_F(UsageTest, DecodesWindowsShortestFirstClampedAndWithDuplicates) {
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
    };
    const Timestamp now(800000000.0);
    for (const auto& [rateLimit, windows] : cases) {
        SCOPED_TRACE(rateLimit);
        const QByteArray body = QByteArray(R"({"plan_type":"","rate_limit":)") + rateLimit + '}';
        EXPECT_EQ(CodexAuthClient::decodeUsage(body, UsageSource::AccountSession, now).windows,
                  windows);
    }
    EXPECT_EQ(test::errorOf<CodexClientError>([&] {
                  CodexAuthClient::decodeUsage(R"({"plan_type":"plus"})",
                                               UsageSource::AccountSession, now);
              }).code(),
              CodexClientError::Code::NoRateLimit);
}

TEST_F(UsageTest, TheRequestCarriesTheTokenAndTheAccountHeaderOnlyWithAnAccountAndSkipsCaches) {
    // Answers that a cache would keep for an hour; every usage request still reaches the server.
    QTemporaryDir cacheFolder;
    auto* cache = new QNetworkDiskCache(&m_manager);
    cache->setCacheDirectory(cacheFolder.path());
    m_manager.setCache(cache);
    const std::pair<std::optional<QString>, std::optional<QByteArray>> accounts[] = {
        {QStringLiteral("acct-1"), "acct-1"},
        {QStringLiteral(""), std::nullopt},
        {std::nullopt, std::nullopt}};
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

TEST_F(UsageTest, UnauthorizedUsageRefreshesOnceAndFallsBackToCredentialsStoredElsewhere) {
    constexpr const char* kOld = "access-secret";
    constexpr const char* kNew = "new-access-secret";  // what the refresh hands out
    constexpr const char* kOther = "other-access";     // stored by another process
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
            const CodexClientError error = failureOf<CodexClientError>(std::move(fetching));
            // A failing store during the fallback keeps the refresh's own error.
            EXPECT_EQ(error.status(), c.failureStatus < 0 ? 400 : c.failureStatus);
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
TEST_F(UsageTest, SuccessReplacesTheCodexUsageInTheSharedSnapshot) {
    const AgentUsage stale =
        CodexAuthClient::decodeUsage(kUsageBody, UsageSource::AccountSession, Timestamp());
    AgentUsage claude = stale;
    claude.provider = AgentProvider::claude();
    SharedSnapshotStore::save(AgentUsageSnapshot({stale, claude}), m_snapshotPreferences);
    respond(kUsagePath, 200, kUsageBody);
    const AgentUsage fresh = test::runTask(fetch());
    EXPECT_EQ(SharedSnapshotStore::loadSnapshot(m_snapshotPreferences)->usages,
              (std::vector<AgentUsage>{claude, fresh}));

    respond(kUsagePath, 503, {});
    failureOf<CodexClientError>(fetch());
    EXPECT_EQ(SharedSnapshotStore::loadSnapshot(m_snapshotPreferences)->usages,
              (std::vector<AgentUsage>{claude, fresh}));
}

TEST_F(AuthFileTest, AnEmptyCodexHomeCountsAsUnset) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("CODEX_HOME"), QString());
    EXPECT_EQ(CodexAuthFileUsageClient::codexHome(environment, QStringLiteral("/home/u")),
              QStringLiteral("/home/u/.codex"));
    environment.insert(QStringLiteral("CODEX_HOME"), QStringLiteral("relative/dir/"));
    EXPECT_EQ(CodexAuthFileUsageClient::codexHome(environment, QString()),
              QStringLiteral("relative/dir/"));
}

TEST_F(AuthFileTest, TheTokenIsReadFromSnakeOrCamelCaseKeys) {
    const struct {
        const char* tokens;
        const char* bearer;   // nullptr: the file is invalid
        const char* account;  // nullptr: no account header
    } cases[] = {
        {R"({"access_token":"file-access-secret","account_id":"a1"})", "file-access-secret", "a1"},
        {R"({"access_token":7,"accessToken":"camel","account_id":null,"accountId":"a3"})", "camel",
         "a3"},
        {R"({"access_token":"","accessToken":"file-access-secret"})", nullptr, nullptr},
        {R"("file-access-secret")", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tokens);
        writeAuthFile(QByteArray(R"({"OPENAI_API_KEY":null,"tokens":)") + c.tokens + '}');
        if (c.bearer == nullptr) {
            EXPECT_EQ(failureOf<CodexAuthFileError>(m_fileClient.fetchUsage()).code(),
                      CodexAuthFileError::Code::Invalid);
            continue;
        }
        respond(kUsagePath, 200, kUsageBody);
        EXPECT_EQ(test::runTask(m_fileClient.fetchUsage()).source, UsageSource::LocalDesktop);
        const auto request = m_server.requests().back();
        EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer ") + c.bearer);
        EXPECT_EQ(request.header("ChatGPT-Account-Id"), QByteArray(c.account));
    }
}

TEST_F(AuthFileTest, MissingOrUnreadableFilesFailWithTheirOwnErrors) {
    EXPECT_EQ(failureOf<CodexAuthFileError>(m_fileClient.fetchUsage()).code(),
              CodexAuthFileError::Code::NotFound);
    writeAuthFile(R"({"tokens":{"access_token":"file-access-secret")");
    failureOf<json::DecodingError>(m_fileClient.fetchUsage());
    EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(AuthFileTest, TheBorrowedTokenIsNeverRefreshed) {
    writeAuthFile(R"({"tokens":{"access_token":"file-access-secret"}})");
    respond(kUsagePath, 401, R"({"message":"token expired"})");
    EXPECT_EQ(failureOf<CodexClientError>(m_fileClient.fetchUsage()).status(), 401);
    EXPECT_EQ(m_server.requests().size(), 1u);
    EXPECT_EQ(m_secrets.calls, 0);
}

TEST_F(CredentialsStoreTest, KeepsOneItemInTheStoredFormAndFailsOnBadItemsOrAFailingStore) {
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
