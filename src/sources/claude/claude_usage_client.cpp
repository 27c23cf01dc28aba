#include "claude_usage_client.h"

#include <algorithm>
#include <cmath>

#include "core/deployment.h"
#include "core/iso8601.h"
#include "core/json.h"
#include "core/worker.h"
#include "platform/bounded_file.h"
#include "platform/http_client.h"
#include "platform/secrets/secret_store.h"
#include "sources/claude/claude_cli_probe.h"

namespace {

using Code = ClaudeUsageClientError::Code;

[[noreturn]] void fail(Code code) {
    throw ClaudeUsageClientError(code);
}

// An optional key of the given kind; a present value of another kind fails the decode.
std::optional<std::string> optionalString(const json::Value& object, std::string_view key) {
    const json::Value* value = json::optional(object, key);
    return value ? std::optional(json::toString(*value, key)) : std::nullopt;
}

std::optional<double> optionalNumber(const json::Value& object, std::string_view key) {
    const json::Value* value = json::optional(object, key);
    return value ? std::optional(json::toDouble(*value, key)) : std::nullopt;
}

std::optional<ClaudeUsageWindowResponse> windowResponse(const json::Value& body,
                                                        std::string_view key) {
    const json::Value* window = json::optional(body, key);
    if (window == nullptr) {
        return std::nullopt;
    }
    json::requireObject(*window, key);
    return ClaudeUsageWindowResponse{optionalNumber(*window, "utilization"),
                                     optionalString(*window, "resets_at")};
}

QString trimmedLower(const std::string& text) {
    return QString::fromStdString(text).trimmed().toLower();
}

}  // namespace

ClaudeUsageClient::ClaudeUsageClient(Clock& clock, HttpClient& http, SecretStore& secretStore,
                                     ClaudeCliProbe& probe, const QUrl& anthropicOrigin,
                                     QString homePath)
    : m_clock(clock),
      m_http(http),
      m_secretStore(secretStore),
      m_probe(probe),
      m_usageUrl(deployment::join(anthropicOrigin, QStringLiteral("api/oauth/usage"))),
      m_homePath(std::move(homePath)) {}

QCoro::Task<AgentUsage> ClaudeUsageClient::fetchUsage(CancellationToken token) {
    try {
        co_return co_await fetchUsageOnce(token);
    } catch (const ClaudeUsageClientError& error) {
        if (error.code() != Code::ExpiredCredentials && error.code() != Code::Unauthorized) {
            throw;
        }
    }
    // Only an expired or rejected session gets here. A renewal that fails ends the call with
    // its own error, so a rejected token can end as expiredCredentials.
    co_await refreshCredentialsThroughClaudeCli(token);
    co_return co_await fetchUsageOnce(token);
}

QCoro::Task<AgentUsage> ClaudeUsageClient::fetchUsageOnce(CancellationToken token) {
    const ClaudeCredentials credentials = co_await loadCredentials();
    token.throwIfCancelled();
    if (credentials.expiresAt && *credentials.expiresAt <= m_clock.now()) {
        fail(Code::ExpiredCredentials);
    }
    HttpRequest request;
    request.url = m_usageUrl;
    request.timeoutSeconds = kRequestTimeoutSeconds;
    request.headers = {
        {"Authorization", "Bearer " + credentials.accessToken},
        {"Accept", "application/json"},
        {"Content-Type", "application/json"},
        {"anthropic-beta", "oauth-2025-04-20"},
        {"User-Agent", "claude-code/2.1.0"},
    };
    const HttpResponse response = co_await m_http.send(std::move(request), token);
    switch (response.status) {
        case 200:
            co_return makeUsage(response.body, credentials, m_clock.now());
        case 0:
            fail(Code::InvalidResponse);
        case 401:
            fail(Code::Unauthorized);
        case 429:
            fail(Code::RateLimited);
        default:
            throw ClaudeUsageClientError::serverError(response.status);
    }
}

AgentUsage ClaudeUsageClient::makeUsage(const QByteArray& body,
                                        const ClaudeCredentials& credentials, Timestamp now) {
    std::optional<ClaudeUsageWindowResponse> fiveHour;
    std::optional<ClaudeUsageWindowResponse> sevenDay;
    try {
        const json::Value document = json::requireObject(
            json::parse(std::string_view(body.constData(), body.size())), "usage response");
        fiveHour = windowResponse(document, "five_hour");
        sevenDay = windowResponse(document, "seven_day");
    } catch (const json::DecodingError&) {
        fail(Code::InvalidResponse);
    }
    AgentUsage usage{.windows = {},
                     .provider = AgentProvider::claude(),
                     .agentName = "Claude",
                     .planType = planLabel(credentials),
                     .updatedAt = now,
                     .source = UsageSource::LocalDesktop};
    for (const auto& window : {makeWindow(fiveHour, UsageWindow::kFiveHourSeconds, now),
                               makeWindow(sevenDay, UsageWindow::kWeeklySeconds, now)}) {
        if (window) {
            usage.windows.push_back(*window);
        }
    }
    if (usage.windows.empty()) {
        fail(Code::NoRateLimits);
    }
    return usage;
}

QCoro::Task<ClaudeCredentials> ClaudeUsageClient::loadCredentials() {
    const QString path = m_homePath + QLatin1Char('/') + kCredentialsRelativePath;
    std::optional<ClaudeCredentials> expiredFileCredentials;
    std::optional<QByteArray> content;
    bool fileExists = true;
    try {
        QCoro::Task<std::optional<QByteArray>> reading =
            readRegularFileAsync(path, kMaxCredentialsBytes);
        content = co_await reading;
        fileExists = content.has_value();
    } catch (const FileReadError&) {
        // Unreadable, too large, or not a file: looked past like an unparsable one.
    }
    if (content) {
        try {
            ClaudeCredentials credentials = parseCredentials(*content);
            if (!credentials.expiresAt || *credentials.expiresAt > m_clock.now()) {
                co_return credentials;
            }
            expiredFileCredentials = std::move(credentials);
        } catch (const ClaudeUsageClientError&) {
            // An unparsable file is looked past; the keyring may still hold a sign-in.
        }
    }
    QCoro::Task<std::optional<QByteArray>> lookup = secretStoreCredentialsData();
    const std::optional<QByteArray> secretStoreData = co_await lookup;
    if (!secretStoreData) {
        if (expiredFileCredentials) {
            fail(Code::ExpiredCredentials);
        }
        fail(fileExists ? Code::InvalidCredentials : Code::CredentialsNotFound);
    }
    ClaudeCredentials credentials = parseCredentials(*secretStoreData);
    if (credentials.expiresAt && *credentials.expiresAt <= m_clock.now()) {
        fail(Code::ExpiredCredentials);
    }
    co_return credentials;
}

ClaudeCredentials ClaudeUsageClient::parseCredentials(QByteArrayView data) {
    try {
        const json::Value root =
            json::parse(std::string_view(data.data(), data.size()), kMaxCredentialsBytes);
        const json::Value* oauth =
            json::optional(json::requireObject(root, "credentials"), "claudeAiOauth");
        if (oauth == nullptr) {
            fail(Code::InvalidCredentials);
        }
        json::requireObject(*oauth, "claudeAiOauth");
        const auto token = optionalString(*oauth, "accessToken");
        const auto expiresAtMilliseconds = optionalNumber(*oauth, "expiresAt");
        ClaudeCredentials credentials{
            .accessToken = QString::fromStdString(token.value_or("")).trimmed().toUtf8(),
            .expiresAt = std::nullopt,
            .rateLimitTier = optionalString(*oauth, "rateLimitTier"),
            .subscriptionType = optionalString(*oauth, "subscriptionType"),
        };
        if (credentials.accessToken.isEmpty()) {
            fail(Code::InvalidCredentials);
        }
        if (expiresAtMilliseconds) {
            credentials.expiresAt = Timestamp::fromUnixSeconds(*expiresAtMilliseconds / 1000.0);
        }
        return credentials;
    } catch (const json::DecodingError&) {
        fail(Code::InvalidCredentials);
    }
}

QCoro::Task<std::optional<QByteArray>> ClaudeUsageClient::secretStoreCredentialsData() {
    try {
        co_return co_await m_secretStore.find(kSecretService, std::nullopt);
    } catch (const SecretStoreError& error) {
        // Without a secret service there is no item; anything else is a refused read.
        if (error.status() != SecretStoreError::Status::NotAvailable &&
            error.status() != SecretStoreError::Status::NotFound) {
            fail(Code::SecretStoreAccessDenied);
        }
    }
    co_return std::nullopt;
}

std::optional<UsageWindow> ClaudeUsageClient::makeWindow(
    const std::optional<ClaudeUsageWindowResponse>& response, std::int64_t durationSeconds,
    Timestamp now) {
    if (!response || !response->utilization) {
        return std::nullopt;
    }
    // Clamping before converting keeps huge and non-finite values in range.
    const double rounded = std::round(*response->utilization);
    const double clamped = std::isnan(rounded) ? 0.0 : std::clamp(rounded, 0.0, 100.0);
    std::optional<Timestamp> resetDate;
    if (response->resetsAt && !response->resetsAt->empty()) {
        resetDate = parseInternetDateTime(*response->resetsAt);
    }
    return UsageWindow{
        .usedPercent = static_cast<std::int64_t>(clamped),
        .durationSeconds = durationSeconds,
        .resetDate = resetDate.value_or(now + static_cast<double>(durationSeconds)),
    };
}

std::string ClaudeUsageClient::planLabel(const ClaudeCredentials& credentials) {
    const QString tier = QString::fromStdString(credentials.rateLimitTier.value_or("")).toLower();
    auto tierHas = [&](const char* text) { return tier.contains(QLatin1String(text)); };
    if (tierHas("max_20x")) {
        return "max 20x";
    }
    if (tierHas("max_5x")) {
        return "max 5x";
    }
    if (credentials.subscriptionType) {
        const QString subscription =
            trimmedLower(*credentials.subscriptionType).replace(QLatin1Char('_'), QLatin1Char(' '));
        if (!subscription.isEmpty()) {
            return subscription.toStdString();
        }
    }
    for (const char* name : {"max", "team", "enterprise", "pro"}) {
        if (tierHas(name)) {
            return name;
        }
    }
    return "Claude";
}

QCoro::Task<> ClaudeUsageClient::refreshCredentialsThroughClaudeCli(CancellationToken token) {
    const Timestamp now = m_clock.now();
    if (m_lastDelegatedRefreshAttempt &&
        now - *m_lastDelegatedRefreshAttempt < kRefreshSpacingSeconds) {
        fail(Code::ExpiredCredentials);
    }
    // Stamped before anything can fail, so a failed attempt also holds off the next one.
    m_lastDelegatedRefreshAttempt = now;
    QCoro::Task<std::optional<QString>> locating =
        runOnWorker([&probe = m_probe] { return probe.resolveClaudeBinary(); });
    const std::optional<QString> binary = co_await locating;
    if (!binary) {
        fail(Code::ExpiredCredentials);
    }
    // Cancellation is not an Error and goes through; so does running out of memory.
    bool failed = false;
    try {
        QCoro::Task<> probing = m_probe.touchClaudeAuthPath(*binary, kProbeTimeoutSeconds, token);
        co_await probing;
    } catch (const Error&) {
        failed = true;
    }
    if (failed) {
        fail(Code::ExpiredCredentials);
    }
    QCoro::Task<> settling = m_clock.sleep(kProbeSettleSeconds, token);
    co_await settling;
}
