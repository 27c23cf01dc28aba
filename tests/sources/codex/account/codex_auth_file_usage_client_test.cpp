#include "sources/codex/codex_auth_file_usage_client.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "account_test_support.h"
#include "platform/bounded_file.h"
#include "sources/codex/codex_auth_file_error.h"

namespace {

using test::AccountTest;
using test::failureOf;

const QByteArray kUsageBody =
    R"({"plan_type":"team","rate_limit":{"primary_window":{"used_percent":3,)"
    R"("limit_window_seconds":18000,"reset_at":1700000000}}})";

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

}  // namespace

TEST_F(AuthFileTest, CodexHomeComesFromTheEnvironmentOrTheHomeFolder) {
    QProcessEnvironment environment;
    EXPECT_EQ(CodexAuthFileUsageClient::codexHome(environment, QStringLiteral("/home/u")),
              QStringLiteral("/home/u/.codex"));
    environment.insert(QStringLiteral("CODEX_HOME"), QString());
    EXPECT_EQ(CodexAuthFileUsageClient::codexHome(environment, QStringLiteral("/home/u")),
              QStringLiteral("/home/u/.codex"));
    environment.insert(QStringLiteral("CODEX_HOME"), QStringLiteral("relative/dir/"));
    EXPECT_EQ(CodexAuthFileUsageClient::codexHome(environment, QStringLiteral("/home/u")),
              QStringLiteral("relative/dir/"));

    // CODEX_HOME names a folder without auth.json: not signed in, whatever ~/.codex holds.
    QDir().mkpath(m_folder.path() + QStringLiteral("/home/.codex"));
    QFile stray(m_folder.path() + QStringLiteral("/home/.codex/auth.json"));
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.write(R"({"tokens":{"access_token":"file-access-secret"}})");
    stray.close();
    environment.insert(QStringLiteral("CODEX_HOME"), m_folder.path() + QStringLiteral("/empty"));
    CodexAuthFileUsageClient client(
        CodexAuthFileUsageClient::codexHome(environment, m_folder.path() + QStringLiteral("/home")),
        m_client);
    EXPECT_EQ(failureOf<CodexAuthFileError>(client.fetchUsage()).localizedDescription(),
              QStringLiteral("Codex is not signed in on this Mac. Open Codex or run `codex login "
                             "--device-auth`."));
    EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(AuthFileTest, TheTokenIsReadFromSnakeOrCamelCaseKeys) {
    const struct {
        const char* tokens;
        const char* bearer;   // nullptr: the file is invalid
        const char* account;  // nullptr: no account header
    } cases[] = {
        {R"({"access_token":"file-access-secret","account_id":"a1"})", "file-access-secret", "a1"},
        {R"({"accessToken":"file-access-secret","accountId":"a2"})", "file-access-secret", "a2"},
        {R"({"access_token":7,"accessToken":"camel","account_id":null,"accountId":"a3"})", "camel",
         "a3"},
        {R"({"access_token":null,"accessToken":"camel","account_id":5})", "camel", nullptr},
        {R"({"access_token":"snake","accessToken":"camel","account_id":""})", "snake", nullptr},
        {R"({"access_token":"","accessToken":"file-access-secret"})", nullptr, nullptr},
        {R"({"accessToken":""})", nullptr, nullptr},
        {R"({"account_id":"a"})", nullptr, nullptr},
        {R"("file-access-secret")", nullptr, nullptr},
        {"null", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tokens);
        writeAuthFile(QByteArray(R"({"OPENAI_API_KEY":null,"tokens":)") + c.tokens + '}');
        if (c.bearer == nullptr) {
            EXPECT_EQ(
                failureOf<CodexAuthFileError>(m_fileClient.fetchUsage()).localizedDescription(),
                QStringLiteral(
                    "The local Codex session could not be read. Sign in to Codex again."));
            continue;
        }
        respond(kUsagePath, 200, kUsageBody);
        const AgentUsage usage = test::runTask(m_fileClient.fetchUsage());
        EXPECT_EQ(usage.source, UsageSource::localDesktop);
        EXPECT_EQ(usage.planType, "team");
        const auto request = m_server.requests().back();
        EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer ") + c.bearer);
        EXPECT_EQ(request.header("ChatGPT-Account-Id"), QByteArray(c.account));
    }
}

TEST_F(AuthFileTest, UnreadableFilesFailWithTheirOwnErrors) {
    writeAuthFile(R"([{"tokens":{"access_token":"file-access-secret"}}])");
    failureOf<CodexAuthFileError>(m_fileClient.fetchUsage());
    writeAuthFile(R"({"tokens":{"access_token":"file-access-secret")");
    failureOf<json::DecodingError>(m_fileClient.fetchUsage());
    writeAuthFile(QByteArray(CodexAuthFileUsageClient::kMaxFileBytes + 1, ' '));
    failureOf<FileReadError>(m_fileClient.fetchUsage());

    ASSERT_TRUE(QFile::remove(home() + QStringLiteral("/auth.json")));
    ASSERT_TRUE(QDir().mkpath(home() + QStringLiteral("/auth.json")));
    EXPECT_TRUE(failureOf<FileReadError>(m_fileClient.fetchUsage())
                    .localizedDescription()
                    .contains(QStringLiteral("auth.json")));
    EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(AuthFileTest, TheBorrowedTokenIsNeverRefreshed) {
    writeAuthFile(R"({"tokens":{"access_token":"file-access-secret"}})");
    respond(kUsagePath, 401, R"({"message":"token expired"})");
    const auto error = failureOf<CodexClientError>(m_fileClient.fetchUsage());
    EXPECT_EQ(error.status(), 401);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("token expired"));
    EXPECT_EQ(m_server.requests().size(), 1u);
    EXPECT_EQ(m_secrets.calls, 0);
}
