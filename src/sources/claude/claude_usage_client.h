#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>
#include <optional>
#include <string>

#include "core/cancellation_token.h"
#include "core/clock.h"
#include "model/agent_usage.h"
#include "sources/claude/claude_usage_client_error.h"

class ClaudeCliProbe;
class HttpClient;
class SecretStore;

// Claude Code's stored sign-in as read from its file or keyring item.
struct ClaudeCredentials {
    // Never empty; white space around it removed.
    QByteArray accessToken;
    std::optional<Timestamp> expiresAt;
    std::optional<std::string> rateLimitTier;
    std::optional<std::string> subscriptionType;
};

// One window of the usage answer, as the service sent it.
struct ClaudeUsageWindowResponse {
    std::optional<double> utilization;
    std::optional<std::string> resetsAt;
};

// Reads Claude usage with the sign-in Claude Code already stored on this computer: its
// credentials file first, then its keyring item; one GET to the OAuth usage endpoint; the
// 5-hour and weekly utilisation become one AgentUsage. An expired or rejected session is renewed
// once by letting the `claude` program run (ClaudeCliProbe), then read again.
//
// Used on the main thread; operations interleave only at their waits. The sign-in is read afresh
// on every attempt, and no token ever appears in an error or a log.
class ClaudeUsageClient final {
public:
    static constexpr double kRequestTimeoutSeconds = 30.0;
    static constexpr double kRefreshSpacingSeconds = 60.0;
    static constexpr double kProbeTimeoutSeconds = 10.0;
    static constexpr double kProbeSettleSeconds = 0.5;
    // Stored sign-ins are small; anything larger is not one.
    static constexpr qint64 kMaxCredentialsBytes = 1024 * 1024;
    static inline const QString kSecretService = QStringLiteral("Claude Code-credentials");
    static inline const QString kCredentialsRelativePath =
        QStringLiteral(".claude/.credentials.json");

    // None of the collaborators is owned; `homePath` is the user's home folder.
    ClaudeUsageClient(Clock& clock, HttpClient& http, SecretStore& secretStore,
                      ClaudeCliProbe& probe, const QUrl& anthropicOrigin, QString homePath);
    Q_DISABLE_COPY_MOVE(ClaudeUsageClient)

    // Throws ClaudeUsageClientError, NetworkError or CancelledError. At most one delegated
    // refresh and one retry per call.
    QCoro::Task<AgentUsage> fetchUsage(CancellationToken token = {});
    QCoro::Task<AgentUsage> fetchUsageOnce(CancellationToken token);
    // The credentials file is read on a worker thread, then the keyring is asked if need be.
    QCoro::Task<ClaudeCredentials> loadCredentials();
    // Throws invalidCredentials for anything that is not a usable sign-in.
    static ClaudeCredentials parseCredentials(QByteArrayView data);
    // Nothing when there is no item (or no keyring at all); secretStoreAccessDenied otherwise.
    QCoro::Task<std::optional<QByteArray>> secretStoreCredentialsData();
    // Nothing when the window or its utilisation is missing. The percentage is rounded half away
    // from zero and clamped to 0...100; a reset time that does not parse becomes now + length.
    static std::optional<UsageWindow> makeWindow(
        const std::optional<ClaudeUsageWindowResponse>& response, std::int64_t durationSeconds,
        Timestamp now);
    static std::string planLabel(const ClaudeCredentials& credentials);
    // The usage in the body of a 200 answer, updated at `now`. Throws invalidResponse when the
    // body is not the usage JSON, noRateLimits when it holds no window.
    static AgentUsage makeUsage(const QByteArray& body, const ClaudeCredentials& credentials,
                                Timestamp now);
    // Lets `claude` renew its stored session, at most once a minute. Throws expiredCredentials
    // for every failure except cancellation.
    QCoro::Task<> refreshCredentialsThroughClaudeCli(CancellationToken token);

    std::optional<Timestamp> lastDelegatedRefreshAttempt() const {
        return m_lastDelegatedRefreshAttempt;
    }
    const QUrl& usageUrl() const { return m_usageUrl; }

private:
    Clock& m_clock;
    HttpClient& m_http;
    SecretStore& m_secretStore;
    ClaudeCliProbe& m_probe;
    QUrl m_usageUrl;
    QString m_homePath;
    std::optional<Timestamp> m_lastDelegatedRefreshAttempt;
};
