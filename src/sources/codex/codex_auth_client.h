#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>
#include <utility>

#include "core/cancellation_token.h"
#include "core/clock.h"
#include "core/preferences.h"
#include "model/agent_usage.h"
#include "platform/http_client.h"
#include "sources/codex/codex_client_error.h"
#include "sources/codex/codex_credentials.h"
#include "sources/codex/codex_device_code.h"
#include "sources/codex/credentials_store.h"

// The ChatGPT account inside Quotamind: device-code sign-in against the OpenAI issuer, token
// refresh, and the account's usage from the ChatGPT backend.
//
// Every operation may throw: NetworkError (transport failure, time-out, oversized body) as it
// is; CodexClientError for a missing HTTP response (invalidResponse) and for statuses outside
// 2xx (server, with the message from the error body); json::DecodingError for a 2xx body that
// does not decode; CancelledError once `token` is cancelled. Sign-in requests are limited to
// 60 seconds, usage requests to 15 seconds, both measured on the injected Clock.
//
// Holds no mutable state; calls may overlap while they wait. The HTTP client, clock and
// credentials store are not owned and must outlive the client.
class CodexAuthClient final {
public:
    // What the issuer hands out once the user has confirmed a device code.
    struct AuthorizationResponse {
        QString authorizationCode;
        // Read but never used.
        QString codeChallenge;
        QString codeVerifier;

        bool operator==(const AuthorizationResponse&) const = default;
    };

    using FormFields = QList<std::pair<QString, QString>>;

    static inline const QString kClientId = QStringLiteral("app_Rk4vTq9WnZ2cXs7pLm3hJdYb");
    static constexpr double kSignInTimeoutSeconds = 60;
    static constexpr double kUsageTimeoutSeconds = 15;
    // How long one device code is polled before the sign-in expires.
    static constexpr double kPollingLimitSeconds = 900;

    // `issuer` is an origin; `usageUrl` the full usage endpoint. `snapshotPreferences` is the
    // domain that holds the shared snapshot (SharedSnapshotStore::preferences() in the program).
    CodexAuthClient(QUrl issuer, QUrl usageUrl, QString clientId, HttpClient& http, Clock& clock,
                    CredentialsStore& credentials, Preferences snapshotPreferences);
    Q_DISABLE_COPY_MOVE(CodexAuthClient)

    const QUrl& issuer() const { return m_issuer; }
    const QUrl& usageUrl() const { return m_usageUrl; }
    const QString& clientId() const { return m_clientId; }

    // Asks the issuer for a one-time user code.
    QCoro::Task<CodexDeviceCode> requestDeviceCode(CancellationToken token = {});
    // Polls at once, then every `intervalSeconds` while the issuer answers 403 or 404, until it
    // hands out the authorization; CodexClientError::signInExpired after 15 minutes of wall-clock
    // time, never waiting past that point.
    QCoro::Task<AuthorizationResponse> pollForAuthorization(CodexDeviceCode code,
                                                            CancellationToken token = {});
    // Trades the authorization for tokens and returns them for the caller to save. A cancelled
    // sign-in signs nothing in: once `token` is cancelled, the request is dropped and whatever
    // it brought is thrown away (CancelledError); nothing is saved here.
    QCoro::Task<CodexCredentials> exchange(AuthorizationResponse authorization,
                                           CancellationToken token = {});
    // New tokens merged into `credentials`, saved in the credentials store before they are
    // returned. The refresh spends the refresh token it sends, so once sent its request is
    // completed whatever `token` says, and the rotated tokens are saved before CancelledError:
    // a cancelled caller never leaves the account with only a spent token. A store failure is
    // CodexClientError::secretStore.
    QCoro::Task<CodexCredentials> refresh(CodexCredentials credentials,
                                          CancellationToken token = {});

    // The account's usage. On 401 with `retryAfterRefresh`, refreshes and asks once more; when
    // that fails and the store meanwhile holds credentials with another access token (another
    // process signed in or refreshed), asks once with those. At most three usage requests.
    QCoro::Task<AgentUsage> fetchUsage(CodexCredentials credentials, bool retryAfterRefresh,
                                       CancellationToken token = {});
    // One usage request with a token this program does not own: no refresh on 401.
    QCoro::Task<AgentUsage> fetchUsageWithoutRefresh(QString accessToken,
                                                     std::optional<QString> accountId,
                                                     UsageSource source,
                                                     CancellationToken token = {});

    HttpRequest makeUsageRequest(const QString& accessToken,
                                 const std::optional<QString>& accountId) const;
    // The usage in a 2xx usage body, windows shortest first, updated at `now`. Pure: the callers
    // store the result in the shared snapshot. Throws json::DecodingError, or
    // CodexClientError::noRateLimit without windows.
    static AgentUsage decodeUsage(const QByteArray& data, UsageSource source, Timestamp now);

    // The ChatGPT account identifier in an identity token's payload, read without checking the
    // signature; none when the token cannot be read.
    static std::optional<QString> accountId(const QString& idToken);
    // application/x-www-form-urlencoded fields in the given order; none for no fields.
    static std::optional<QByteArray> formBody(const FormFields& fields);
    // The error for a status outside 2xx, with the best message from the error body.
    static CodexClientError serverError(int status, const QByteArray& data);

private:
    QCoro::Task<HttpResponse> send(HttpRequest request, CancellationToken token);
    QCoro::Task<HttpResponse> post(const QString& path, QByteArray contentType, QByteArray body,
                                   CancellationToken token);
    // The body of a 2xx response; serverError otherwise.
    static QByteArray successBody(const HttpResponse& response);
    // Replaces the Codex usage in the shared snapshot, or starts one with it.
    void storeInSharedSnapshot(const AgentUsage& usage) const;

    QUrl m_issuer;
    QUrl m_usageUrl;
    QString m_clientId;
    HttpClient& m_http;
    Clock& m_clock;
    CredentialsStore& m_credentials;
    Preferences m_snapshotPreferences;
};
