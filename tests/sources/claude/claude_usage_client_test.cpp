#include "sources/claude/claude_usage_client.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThreadPool>

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
    QByteArray oauth = "\"accessToken\":\"" + token + "\"";
    if (expiresIn) {
        oauth += ",\"expiresAt\":" +
                 QByteArray::number((kNow + *expiresIn).unixSeconds() * 1000.0, 'f', 0);
    }
    return "{\"claudeAiOauth\":{" + oauth + extra + "},\"other\":true}";
}

// The code of the Claude error that `run` (a callable or a task) ends with.
template <typename Run>
Code errorOf(Run&& run) {
    return test::errorOf<ClaudeUsageClientError>(std::forward<Run>(run)).code();
}

class ClaudeUsageClientTest : public ::testing::Test {
protected:
    void writeFile(const QByteArray& content) {
        QDir().mkpath(QFileInfo(credentialsPath()).path());
        QFile file(credentialsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    QString credentialsPath() const {
        return m_home.path() + QStringLiteral("/.claude/.credentials.json");
    }

    // The fake claude stands in for the real one: on "/status" it stores a renewed sign-in.
    ClaudeCLIProbe::Environment probeEnvironment(bool withClaude) const {
        ClaudeCLIProbe::Environment environment{
            .homePath = m_home.path(),
            .processEnvironment = QProcessEnvironment::systemEnvironment(),
            .temporaryPath = m_temporary.path(),
            .systemBinaryPaths = {}};
        QProcessEnvironment& variables = environment.processEnvironment;
        variables.insert(QStringLiteral("CLAUDE_BINARY"),
                         withClaude ? test::fakeClaudeProgram() : QString());
        variables.insert(QStringLiteral("FAKE_CLAUDE_WRITE_FILE"), credentialsPath());
        variables.insert(QStringLiteral("FAKE_CLAUDE_WRITE_CONTENT"),
                         QString::fromUtf8(credentials("renewed", 7200)));
        return environment;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_temporary;
    ManualClock m_clock{kNow};
    QNetworkAccessManager m_manager;
    HttpClient m_http{m_clock, m_manager};
    FakeHttpServer m_server;
    MemorySecretStore m_keychain;
    ClaudeCLIProbe m_probe{m_clock, probeEnvironment(true)};
    ClaudeUsageClient m_client{m_clock,           m_http,       m_keychain, m_probe,
                               m_server.origin(), m_home.path()};
};

}  // namespace

TEST_F(ClaudeUsageClientTest, LooksForTheSignInInTheDocumentedOrder) {
    using enum SecretStoreError::Status;
    const QByteArray valid = credentials("chain", 60);
    const QByteArray expired = credentials("chain", -60);
    const QByteArray expiredFile = credentials("file", -1);
    const struct {
        const char* name;
        std::optional<QByteArray> file;
        std::optional<QByteArray> keychain;
        std::optional<SecretStoreError::Status> keychainFails;
        std::variant<QByteArray, Code> expected;
        bool keychainAsked;
    } cases[] = {
        {"valid file wins", credentials("file", 60), valid, {}, QByteArray("file"), false},
        {"file without expiry", credentials(" file\\n"), {}, {}, QByteArray("file"), false},
        {"file expiring now", credentials("file", 0), {}, {}, Code::expiredCredentials, true},
        {"expired file, valid keychain", expiredFile, valid, {}, QByteArray("chain"), true},
        {"both expired", expiredFile, expired, {}, Code::expiredCredentials, true},
        {"garbage file", QByteArray("{oops"), {}, {}, Code::invalidCredentials, true},
        {"blank token", credentials(" \\n"), {}, {}, Code::invalidCredentials, true},
        {"nothing anywhere", {}, {}, {}, Code::credentialsNotFound, true},
        {"denied keychain", {}, {}, accessDenied, Code::keychainAccessDenied, true},
        {"no keychain service", {}, {}, notAvailable, Code::credentialsNotFound, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(credentialsPath());
        m_keychain = MemorySecretStore();
        if (c.file) {
            writeFile(*c.file);
        }
        if (c.keychain) {
            m_keychain.put(ClaudeUsageClient::kKeychainService, QStringLiteral("someone"),
                           *c.keychain);
        }
        m_keychain.failWith = c.keychainFails;
        if (const auto* token = std::get_if<QByteArray>(&c.expected)) {
            EXPECT_EQ(test::runTask(m_client.loadCredentials()).accessToken, *token);
        } else {
            EXPECT_EQ(errorOf(m_client.loadCredentials()), std::get<Code>(c.expected));
        }
        EXPECT_EQ(m_keychain.calls > 0, c.keychainAsked);
    }
}

// The disk may be slow: the calling (main) thread hands the read to a worker and goes on. Every
// worker is held busy, so a read handed over cannot finish before the test lets them go.
TEST_F(ClaudeUsageClientTest, TheCredentialsFileIsReadOffTheCallingThread) {
    writeFile(credentials("file"));
    // Shared with the workers, which may still be inside acquire() when the test ends.
    const auto release = std::make_shared<QSemaphore>();
    const int workers = QThreadPool::globalInstance()->maxThreadCount();
    auto unblock = qScopeGuard([&] { release->release(workers); });
    for (int worker = 0; worker < workers; ++worker) {
        QThreadPool::globalInstance()->start([release] { release->acquire(); });
    }
    test::StartedTask<ClaudeCredentials> loading(m_client.loadCredentials());
    EXPECT_FALSE(loading.isDone());
    unblock.dismiss();
    release->release(workers);
    ASSERT_TRUE(loading.waitUntilDone());
    EXPECT_EQ(loading.get().accessToken, "file");
}

TEST_F(ClaudeUsageClientTest, PlanLabels) {
    const struct {
        std::optional<std::string> tier;
        std::optional<std::string> subscription;
        const char* label;
    } cases[] = {
        {"default_claude_max_20x", "pro", "max 20x"},
        {"DEFAULT_CLAUDE_MAX_5X", std::nullopt, "max 5x"},
        {std::nullopt, "team_plan ", "team plan"},
        {"claude_max", " \n", "max"},
        {"free", std::nullopt, "Claude"},
    };
    for (const auto& c : cases) {
        const ClaudeCredentials credentials{"t", std::nullopt, c.tier, c.subscription};
        EXPECT_EQ(ClaudeUsageClient::planLabel(credentials), c.label);
    }
}

TEST_F(ClaudeUsageClientTest, WindowsRoundClampAndFallBackToAFullWindow) {
    const struct {
        double utilization;
        std::optional<std::string> resetsAt;
        std::int64_t used;
        Timestamp reset;
    } cases[] = {
        {12.5, "2025-01-01T10:00:00.123Z", 13, Timestamp::fromUnixSeconds(1735725600.123)},
        {12.49, "2025-01-01T10:00:00Z", 12, Timestamp::fromUnixSeconds(1735725600.0)},
        {-3, "2025-01-01", 0, kNow + 18000.0},
        {-0.5, "", 0, kNow + 18000.0},
        {1e300, std::nullopt, 100, kNow + 18000.0},
    };
    for (const auto& c : cases) {
        const auto window = ClaudeUsageClient::makeWindow(
            ClaudeUsageWindowResponse{c.utilization, c.resetsAt}, 18000, kNow);
        ASSERT_TRUE(window.has_value());
        EXPECT_EQ(window->usedPercent, c.used) << c.utilization;
        EXPECT_NEAR(window->resetDate.secondsSinceReferenceDate(),
                    c.reset.secondsSinceReferenceDate(), 1e-6);
    }
}

TEST_F(ClaudeUsageClientTest, SendsTheDocumentedRequestAndBuildsTheUsage) {
    writeFile(credentials("secret-token", 3600, R"(,"rateLimitTier":"default_claude_max_20x")"));
    m_server.enqueue("/api/oauth/usage", {.status = 200, .body = kUsageBody});
    const AgentUsage usage = test::runTask(m_client.fetchUsage());

    ASSERT_EQ(m_server.requests().size(), 1u);
    const FakeHttpServer::Request& request = m_server.requests()[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.header("Authorization"), "Bearer secret-token");
    EXPECT_EQ(request.header("anthropic-beta"), "oauth-2025-04-20");
    EXPECT_EQ(usage, (AgentUsage{.windows = {{42, 18000, Timestamp(788929200.25)},
                                             {7, 604800, Timestamp(789264000.0)}},
                                 .provider = AgentProvider::claude(),
                                 .agentName = "Claude",
                                 .planType = "max 20x",
                                 .updatedAt = kNow,
                                 .source = UsageSource::localDesktop}));
}

TEST_F(ClaudeUsageClientTest, MapsStatusesAndBodiesToTheirErrors) {
    writeFile(credentials("secret-token", 3600));
    const struct {
        int status;
        QByteArray body;
        Code code;
    } cases[] = {
        {401, "", Code::unauthorized},
        {429, "", Code::rateLimited},
        {403, "", Code::serverError},
        {200, "<html>", Code::invalidResponse},
        {200, R"({"five_hour":{"utilization":null},"seven_day":null})", Code::noRateLimits},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        m_server.enqueue("/api/oauth/usage", {.status = c.status, .body = c.body});
        const auto error = test::errorOf<ClaudeUsageClientError>(m_client.fetchUsageOnce({}));
        EXPECT_EQ(error.code(), c.code) << c.status;
        EXPECT_FALSE(error.localizedDescription().contains(QStringLiteral("secret-token")));
    }
}

// Texts that would name the Mac say "this computer" on Linux.
TEST(ClaudeUsageClientErrorTest, NoTextNamesTheMac) {
    for (int code = 0; code <= static_cast<int>(Code::invalidResponse); ++code) {
        const QString text = ClaudeUsageClientError(static_cast<Code>(code)).localizedDescription();
        EXPECT_FALSE(text.isEmpty() || text.contains(QStringLiteral("Mac"))) << text.toStdString();
    }
}

TEST_F(ClaudeUsageClientTest, ARejectedSessionIsRenewedByClaudeAndReadAgain) {
    writeFile(credentials("old"));
    m_server.enqueue("/api/oauth/usage", {.status = 401, .body = {}});
    m_server.enqueue("/api/oauth/usage", {.status = 200, .body = kUsageBody});
    test::StartedTask<AgentUsage> task(m_client.fetchUsage());
    // The manual clock moves in steps while the fake claude runs in real time.
    for (int step = 0; step < 1000 && !task.isDone(); ++step) {
        test::processEventsUntil([&] { return task.isDone(); }, std::chrono::milliseconds(10));
        m_clock.advance(ClaudeCLIProbe::pollIntervalSeconds);
    }
    ASSERT_TRUE(task.isDone());
    EXPECT_EQ(task.get().windows.size(), 2u);
    ASSERT_EQ(m_server.requests().size(), 2u);
    EXPECT_EQ(m_server.requests()[1].header("Authorization"), "Bearer renewed");
}

// An attempt counts from its start even when no claude program is found.
TEST_F(ClaudeUsageClientTest, AnExpiredSessionIsRenewedAtMostOncePerMinute) {
    ClaudeCLIProbe probe(m_clock, probeEnvironment(false));
    ClaudeUsageClient client(m_clock, m_http, m_keychain, probe, m_server.origin(), m_home.path());
    writeFile(credentials("old", -1));
    for (const double later : {0.0, 59.0, 60.0}) {
        m_clock.setNow(kNow + later);
        EXPECT_EQ(errorOf(client.fetchUsage()), Code::expiredCredentials);
        EXPECT_EQ(client.lastDelegatedRefreshAttempt(), kNow + (later < 60.0 ? 0.0 : 60.0));
    }
    EXPECT_TRUE(m_server.requests().empty());
}
