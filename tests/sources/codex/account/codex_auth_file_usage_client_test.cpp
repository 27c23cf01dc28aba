#include "sources/codex/codex_auth_file_usage_client.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "account_test_support.h"
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

TEST_F(AuthFileTest, AnEmptyCodexHomeCountsAsUnset) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("CODEX_HOME"), QString());
    EXPECT_EQ(CodexAuthFileUsageClient::codexHome(environment, QStringLiteral("/home/u")),
              QStringLiteral("/home/u/.codex"));
    environment.insert(QStringLiteral("CODEX_HOME"), QStringLiteral("relative/dir/"));
    EXPECT_EQ(CodexAuthFileUsageClient::codexHome(environment, QStringLiteral("/home/u")),
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
        {R"({"account_id":"a"})", nullptr, nullptr},
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
    test::StartedTask<AgentUsage> missing(m_fileClient.fetchUsage());
    ASSERT_TRUE(missing.waitUntilDone());
    EXPECT_EQ(test::errorOf<CodexAuthFileError>([&] { missing.get(); }).code(),
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
