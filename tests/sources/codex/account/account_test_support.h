#pragma once

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include "core/deployment.h"
#include "core/json.h"
#include "fake_http_server.h"
#include "memory_secret_store.h"
#include "sources/codex/codex_auth_client.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace test {

// Every token the tests hand out; none may ever show up in an error text.
inline const std::vector<std::string> kTokens = {"id-secret",      "access-secret",
                                                 "refresh-secret", "new-access-secret",
                                                 "other-access",   "file-access-secret"};

// A JWT-shaped identity token whose payload is `claims` (Base64url without padding).
inline QString identityToken(const std::string& claims) {
    const QByteArray payload = QByteArray::fromStdString(claims).toBase64(
        QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    return QStringLiteral("eyJhbGciOiJub25lIn0.%1.c2ln").arg(QString::fromLatin1(payload));
}

inline QString identityTokenForAccount(const std::string& account) {
    return identityToken(R"({"https://api.openai.com/auth":{"chatgpt_account_id":")" + account +
                         R"("}})");
}

// The exception of type E that the task ends with, checked to carry no token in its text.
template <typename E, typename T>
E failureOf(QCoro::Task<T> task) {
    E error = errorOf<E>(std::move(task));
    const std::string text = error.what();
    for (const std::string& token : kTokens) {
        EXPECT_EQ(text.find(token), std::string::npos) << "a token leaked into: " << text;
    }
    return error;
}

// One loopback server acting as both the issuer and the ChatGPT backend, a manual clock, and
// credentials kept in memory.
class AccountTest : public ::testing::Test {
protected:
    static constexpr const char* kUserCodePath = "/api/accounts/deviceauth/usercode";
    static constexpr const char* kPollPath = "/api/accounts/deviceauth/token";
    static constexpr const char* kTokenPath = "/oauth/token";
    static constexpr const char* kUsagePath = "/backend-api/wham/usage";

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
    std::optional<CodexCredentials> storedCredentials() { return runTask(m_credentials.load()); }

    QTemporaryDir m_folder;
    ManualClock m_clock;
    QNetworkAccessManager m_manager;
    HttpClient m_http{m_clock, m_manager};
    FakeHttpServer m_server;
    MemorySecretStore m_secrets;
    CredentialsStore m_credentials{m_secrets};
    Preferences m_snapshotPreferences{m_folder.path() + QStringLiteral("/group.conf")};
    CodexAuthClient m_client{
        m_server.origin(),
        deployment::join(m_server.origin(), QStringLiteral("backend-api/wham/usage")),
        CodexAuthClient::kClientId,
        m_http,
        m_clock,
        m_credentials,
        m_snapshotPreferences};
};

}  // namespace test
