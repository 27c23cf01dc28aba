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
#include "support/usage_builder.h"

namespace {

using Code = ClaudeUsageClientError::Code;

const Timestamp kNow = test::kReadAt;
const QByteArray kUsageBody =
    R"({"five_hour":{"utilization":42.5,"resets_at":"2026-01-01T03:00:00.250Z"},)"
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

// Each answer: the usage it makes, or the error it ends with, no token in its text.
TEST_F(ClaudeUsageClientTest, SendsTheDocumentedRequestAndMapsEachAnswer) {
    writeFile(credentials("secret-token", 3600, R"(,"rateLimitTier":"default_claude_max_20x")"));
    auto usage = [](std::vector<UsageWindow> windows) {
        AgentUsage usage = test::usage("claude", std::move(windows));
        usage.planType = "max 20x";
        return usage;
    };
    const std::tuple<int, QByteArray, std::variant<AgentUsage, Code>> cases[] = {
        {200, kUsageBody,
         usage({{43, 18000, Timestamp(788929200.25)}, {7, 604800, Timestamp(789264000.0)}})},
        // Clamped, and a full window when the reset time is missing or unreadable.
        {200,
         R"({"five_hour":{"utilization":1e300},)"
         R"("seven_day":{"utilization":-3,"resets_at":"2025-01-01"}})",
         usage({{100, 18000, kNow + 18000.0}, {0, 604800, kNow + 604800.0}})},
        {401, "", Code::Unauthorized},
        {429, "", Code::RateLimited},
        {403, "", Code::ServerError},
        {200, "<html>", Code::InvalidResponse},
        {200, R"({"five_hour":{"utilization":null},"seven_day":null})", Code::NoRateLimits},
    };
    for (const auto& [status, body, expected] : cases) {
        SCOPED_TRACE(body.toStdString());
        m_server.enqueue("/api/oauth/usage", {.status = status, .body = body});
        std::variant<AgentUsage, Code> outcome;
        try {
            outcome = test::runTask(m_client.fetchUsageOnce({}));
        } catch (const ClaudeUsageClientError& error) {
            outcome = error.code();
            EXPECT_FALSE(error.errorString().contains(QStringLiteral("secret-token")));
        }
        EXPECT_EQ(outcome, expected);
        const auto request = m_server.requests().back();
        EXPECT_EQ(request.header("Authorization") + ' ' + request.header("anthropic-beta"),
                  "Bearer secret-token oauth-2025-04-20");
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
