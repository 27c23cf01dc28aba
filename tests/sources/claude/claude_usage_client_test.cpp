#include "sources/claude/claude_usage_client.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include "fake_claude_record.h"
#include "fake_http_server.h"
#include "memory_secret_store.h"
#include "platform/http_client.h"
#include "sources/claude/claude_cli_probe.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace {

using Code = ClaudeUsageClientError::Code;

const Timestamp kNow(788918400.0);
const QByteArray kUsageBody =
    R"({"five_hour":{"utilization":42.4,"resets_at":"2026-01-01T03:00:00.250Z"},)"
    R"("seven_day":{"utilization":7,"resets_at":"2026-01-05T00:00:00Z"},"extra":1})";

// A stored sign-in as Claude Code writes it; `expiresIn` is seconds from kNow.
QByteArray credentials(const QByteArray& token, std::optional<double> expiresIn = std::nullopt,
                       const QByteArray& extra = {}) {
    const QByteArray expiry =
        QByteArray::number((kNow + expiresIn.value_or(0)).unixSeconds() * 1e3, 'f', 0);
    return "{\"claudeAiOauth\":{\"accessToken\":\"" + token + '"' +
           (expiresIn ? ",\"expiresAt\":" + expiry : "") + extra + "},\"other\":true}";
}

class ClaudeUsageClientTest : public ::testing::Test {
protected:
    void writeFile(const QByteArray& content) {
        QDir(m_home.path()).mkpath(QStringLiteral(".claude"));
        QFile file(credentialsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    QString credentialsPath() const {
        return m_home.filePath(QStringLiteral(".claude/.credentials.json"));
    }

    // The fake claude stands in for the real one: on "/status" it stores a renewed sign-in.
    ClaudeCliProbe::Environment probeEnvironment(bool withClaude) const {
        auto variables = QProcessEnvironment::systemEnvironment();
        variables.insert(QStringLiteral("CLAUDE_BINARY"),
                         withClaude ? test::fakeClaudeProgram() : QString());
        variables.insert(QStringLiteral("FAKE_CLAUDE_WRITE_FILE"), credentialsPath());
        variables.insert(QStringLiteral("FAKE_CLAUDE_WRITE_CONTENT"),
                         QString::fromUtf8(credentials("renewed", 7200)));
        return {m_home.path(), variables, m_temporary.path(), {}};
    }

    QTemporaryDir m_home;
    QTemporaryDir m_temporary;
    ManualClock m_clock{kNow};
    QNetworkAccessManager m_manager;
    HttpClient m_http{m_clock, m_manager};
    FakeHttpServer m_server;
    MemorySecretStore m_secretStore;
    ClaudeCliProbe m_probe{m_clock, probeEnvironment(true)};
    ClaudeUsageClient m_client{m_clock,           m_http,       m_secretStore, m_probe,
                               m_server.origin(), m_home.path()};
};

}  // namespace

TEST_F(ClaudeUsageClientTest, LooksForTheSignInInTheDocumentedOrder) {
    using enum SecretStoreError::Status;
    const QByteArray valid = credentials("chain", 60);
    const QByteArray expiredFile = credentials("file", -1);
    // The file, the keyring item and failure; the token or error; whether the keyring was asked.
    const struct {
        const char* name;
        std::optional<QByteArray> file, secretStore;
        std::optional<SecretStoreError::Status> secretStoreFails;
        std::variant<QByteArray, Code> expected;
        bool secretStoreAsked;
    } cases[] = {
        {"file without expiry", credentials(" file\\n"), valid, {}, QByteArray("file"), false},
        {"file expiring now", credentials("file", 0), {}, {}, Code::ExpiredCredentials, true},
        {"expired file, valid keyring item", expiredFile, valid, {}, QByteArray("chain"), true},
        {"garbage file", QByteArray("{oops"), {}, {}, Code::InvalidCredentials, true},
        {"nothing anywhere", {}, {}, {}, Code::CredentialsNotFound, true},
        {"denied keyring", {}, {}, AccessDenied, Code::SecretStoreAccessDenied, true},
        {"no keyring service", {}, {}, NotAvailable, Code::CredentialsNotFound, true},
    };
    for (const auto& [name, file, secretStore, secretStoreFails, expected, secretStoreAsked] :
         cases) {
        SCOPED_TRACE(name);
        QFile::remove(credentialsPath());
        m_secretStore = MemorySecretStore();
        if (file) {
            writeFile(*file);
        }
        if (secretStore) {
            m_secretStore.put(ClaudeUsageClient::kSecretService, QStringLiteral("x"), *secretStore);
        }
        m_secretStore.failWith = secretStoreFails;
        if (const auto* token = std::get_if<QByteArray>(&expected)) {
            EXPECT_EQ(test::runTask(m_client.loadCredentials()).accessToken, *token);
        } else {
            EXPECT_EQ(test::errorOf<ClaudeUsageClientError>(m_client.loadCredentials()).code(),
                      std::get<Code>(expected));
        }
        EXPECT_EQ(m_secretStore.calls > 0, secretStoreAsked);
    }
}

TEST_F(ClaudeUsageClientTest, WindowsRoundClampAndFallBackToAFullWindow) {
    const std::tuple<double, std::optional<std::string>, std::int64_t, Timestamp> cases[] = {
        {12.5, "2025-01-01T10:00:00.123Z", 13, Timestamp::fromUnixSeconds(1735725600.123)},
        {-3, "2025-01-01", 0, kNow + 18000.0},
        {1e300, std::nullopt, 100, kNow + 18000.0},
    };
    for (const auto& [utilization, resetsAt, used, reset] : cases) {
        const auto window = ClaudeUsageClient::makeWindow(
            ClaudeUsageWindowResponse{utilization, resetsAt}, 18000, kNow);
        EXPECT_EQ(window->usedPercent, used) << utilization;
        EXPECT_NEAR(window->resetDate - reset, 0.0, 1e-6);
    }
}

TEST_F(ClaudeUsageClientTest, SendsTheDocumentedRequestAndBuildsTheUsage) {
    writeFile(credentials("secret-token", 3600, R"(,"rateLimitTier":"default_claude_max_20x")"));
    m_server.enqueue("/api/oauth/usage", {.status = 200, .body = kUsageBody});
    const AgentUsage usage = test::runTask(m_client.fetchUsage());

    ASSERT_EQ(m_server.requests().size(), 1u);
    EXPECT_EQ(m_server.requests()[0].header("Authorization"), "Bearer secret-token");
    EXPECT_EQ(m_server.requests()[0].header("anthropic-beta"), "oauth-2025-04-20");
    EXPECT_EQ(usage, (AgentUsage{.windows = {{42, 18000, Timestamp(788929200.25)},
                                             {7, 604800, Timestamp(789264000.0)}},
                                 .provider = AgentProvider::claude(),
                                 .agentName = "Claude",
                                 .planType = "max 20x",
                                 .updatedAt = kNow,
                                 .source = UsageSource::LocalDesktop}));
}

TEST_F(ClaudeUsageClientTest, MapsStatusesAndBodiesToTheirErrors) {
    writeFile(credentials("secret-token", 3600));
    const std::tuple<int, QByteArray, Code> cases[] = {
        {401, "", Code::Unauthorized},
        {429, "", Code::RateLimited},
        {403, "", Code::ServerError},
        {200, "<html>", Code::InvalidResponse},
        {200, R"({"five_hour":{"utilization":null},"seven_day":null})", Code::NoRateLimits},
    };
    for (const auto& [status, body, code] : cases) {
        m_server.enqueue("/api/oauth/usage", {.status = status, .body = body});
        const auto error = test::errorOf<ClaudeUsageClientError>(m_client.fetchUsageOnce({}));
        EXPECT_EQ(error.code(), code) << status << body.constData();
        EXPECT_FALSE(error.errorString().contains(QStringLiteral("secret-token")));
    }
}

TEST_F(ClaudeUsageClientTest, ARejectedSessionIsRenewedByClaudeAndReadAgain) {
    writeFile(credentials("old"));
    m_server.enqueue("/api/oauth/usage", {.status = 401, .body = {}});
    m_server.enqueue("/api/oauth/usage", {.status = 200, .body = kUsageBody});
    test::StartedTask<AgentUsage> task(m_client.fetchUsage());
    // The manual clock moves in steps while the fake claude runs in real time.
    for (int step = 0; step < 1000 && !task.waitUntilDone(std::chrono::milliseconds(10)); ++step) {
        m_clock.advance(ClaudeCliProbe::pollIntervalSeconds);
    }
    ASSERT_TRUE(task.isDone());
    EXPECT_EQ(task.get().windows.size(), 2u);
    ASSERT_EQ(m_server.requests().size(), 2u);
    EXPECT_EQ(m_server.requests()[1].header("Authorization"), "Bearer renewed");
}

// An attempt counts from its start even when no claude program is found.
TEST_F(ClaudeUsageClientTest, AnExpiredSessionIsRenewedAtMostOncePerMinute) {
    ClaudeCliProbe probe(m_clock, probeEnvironment(false));
    ClaudeUsageClient client(m_clock, m_http, m_secretStore, probe, m_server.origin(),
                             m_home.path());
    writeFile(credentials("old", -1));
    for (const double later : {0.0, 59.0, 60.0}) {
        m_clock.setNow(kNow + later);
        EXPECT_EQ(test::errorOf<ClaudeUsageClientError>(client.fetchUsage()).code(),
                  Code::ExpiredCredentials);
        EXPECT_EQ(client.lastDelegatedRefreshAttempt(), kNow + (later < 60.0 ? 0.0 : 60.0));
    }
    EXPECT_TRUE(m_server.requests().empty());
}
