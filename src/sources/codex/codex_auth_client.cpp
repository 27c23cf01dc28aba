#include "codex_auth_client.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "core/deployment.h"
#include "core/json.h"
#include "model/shared_snapshot_store.h"

namespace {

constexpr std::uint64_t kFallbackIntervalSeconds = 5;
const QByteArray kJson = "application/json";
// The claim of OpenAI's identity tokens that holds the ChatGPT account.
constexpr const char* kOpenAIClaimNamespace = "https://api.openai.com/auth";

json::Value parseBody(const QByteArray& data) {
    return json::parse(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
}

QString requiredString(const json::Value& object, std::string_view key) {
    return QString::fromStdString(json::requiredString(object, key));
}

std::optional<QString> optionalString(const json::Value& object, std::string_view key) {
    const json::Value* value = json::optional(object, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    return QString::fromStdString(json::toString(*value, key));
}

QByteArray encode(const json::OrderedValue& value) {
    return QByteArray::fromStdString(json::dump(value));
}

// "+7", " 7\n": an unsigned decimal, or nothing.
std::optional<std::uint64_t> unsignedDecimal(const QString& text) {
    QStringView digits = QStringView(text).trimmed();
    if (digits.startsWith(QLatin1Char('+'))) {
        digits = digits.mid(1);
    }
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const QChar character : digits) {
        if (character < QLatin1Char('0') || character > QLatin1Char('9')) {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(character.unicode() - u'0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

// A number must be a whole non-negative value; a string that is not one means the default.
std::uint64_t interval(const json::Value& body) {
    const json::Value& value = json::required(body, "interval");
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::isfinite(number) && number >= 0 && std::trunc(number) == number &&
            number < 0x1p64) {
            return static_cast<std::uint64_t>(number);
        }
    }
    if (value.is_string()) {
        return unsignedDecimal(QString::fromStdString(value.get<std::string>()))
            .value_or(kFallbackIntervalSeconds);
    }
    throw json::DecodingError("expected an unsigned integer or a string at \"interval\"");
}

UsageWindow usageWindow(const json::Value& window) {
    json::requireObject(window, "window");
    UsageWindow result;
    result.usedPercent =
        std::clamp<std::int64_t>(json::requiredInt64(window, "used_percent"), 0, 100);
    result.durationSeconds = json::requiredInt64(window, "limit_window_seconds");
    result.resetDate =
        Timestamp::fromUnixSeconds(static_cast<double>(json::requiredInt64(window, "reset_at")));
    return result;
}

}  // namespace

CodexAuthClient::CodexAuthClient(QUrl issuer, QUrl usageUrl, QString clientId, HttpClient& http,
                                 Clock& clock, CredentialsStore& credentials,
                                 Preferences snapshotPreferences)
    : m_issuer(std::move(issuer)),
      m_usageUrl(std::move(usageUrl)),
      m_clientId(std::move(clientId)),
      m_http(http),
      m_clock(clock),
      m_credentials(credentials),
      m_snapshotPreferences(std::move(snapshotPreferences)) {}

QCoro::Task<HttpResponse> CodexAuthClient::send(HttpRequest request, CancellationToken token) {
    auto sending = m_http.send(std::move(request), token);
    HttpResponse response = co_await sending;
    if (response.status == 0) {
        throw CodexClientError(CodexClientError::Code::InvalidResponse);
    }
    co_return response;
}

QCoro::Task<HttpResponse> CodexAuthClient::post(const QString& path, QByteArray contentType,
                                                QByteArray body, CancellationToken token) {
    HttpRequest request;
    request.method = "POST";
    request.url = deployment::join(m_issuer, path);
    request.headers = {{"Content-Type", contentType}};
    request.body = std::move(body);
    request.timeoutSeconds = kSignInTimeoutSeconds;
    auto sending = send(std::move(request), token);
    co_return co_await sending;
}

QByteArray CodexAuthClient::successBody(const HttpResponse& response) {
    if (response.status < 200 || response.status > 299) {
        throw serverError(response.status, response.body);
    }
    return response.body;
}

QCoro::Task<CodexDeviceCode> CodexAuthClient::requestDeviceCode(CancellationToken token) {
    json::OrderedValue request = json::OrderedValue::object();
    request["client_id"] = m_clientId.toStdString();
    auto posting =
        post(QStringLiteral("api/accounts/deviceauth/usercode"), kJson, encode(request), token);
    const HttpResponse response = co_await posting;
    const json::Value body = parseBody(successBody(response));
    json::requireObject(body, "user code response");

    CodexDeviceCode code;
    code.verificationUrl = deployment::join(m_issuer, QStringLiteral("codex/device"));
    code.deviceAuthId = requiredString(body, "device_auth_id");
    if (std::optional<QString> userCode = optionalString(body, "user_code")) {
        code.userCode = std::move(*userCode);
    } else {
        code.userCode = requiredString(body, "usercode");
    }
    code.intervalSeconds = std::max<std::uint64_t>(interval(body), 1);
    co_return code;
}

QCoro::Task<CodexAuthClient::AuthorizationResponse> CodexAuthClient::pollForAuthorization(
    CodexDeviceCode code, CancellationToken token) {
    const Timestamp deadline = m_clock.now() + kPollingLimitSeconds;
    json::OrderedValue request = json::OrderedValue::object();
    request["device_auth_id"] = code.deviceAuthId.toStdString();
    request["user_code"] = code.userCode.toStdString();
    const QByteArray requestBody = encode(request);

    while (m_clock.now() < deadline) {
        token.throwIfCancelled();
        auto posting =
            post(QStringLiteral("api/accounts/deviceauth/token"), kJson, requestBody, token);
        const HttpResponse response = co_await posting;
        if (response.status == 403 || response.status == 404) {
            // Not confirmed yet. A huge interval must not outlast the sign-in itself.
            const double wait =
                std::min(static_cast<double>(code.intervalSeconds), deadline - m_clock.now());
            auto sleeping = m_clock.sleep(wait, token);
            co_await sleeping;
            continue;
        }
        const json::Value body = parseBody(successBody(response));
        json::requireObject(body, "authorization response");
        co_return AuthorizationResponse{
            .authorizationCode = requiredString(body, "authorization_code"),
            .codeChallenge = requiredString(body, "code_challenge"),
            .codeVerifier = requiredString(body, "code_verifier"),
        };
    }
    throw CodexClientError(CodexClientError::Code::SignInExpired);
}

QCoro::Task<CodexCredentials> CodexAuthClient::exchange(AuthorizationResponse authorization,
                                                        CancellationToken token) {
    token.throwIfCancelled();
    const FormFields fields = {
        {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
        {QStringLiteral("code"), authorization.authorizationCode},
        {QStringLiteral("redirect_uri"),
         deployment::join(m_issuer, QStringLiteral("deviceauth/callback"))
             .toString(QUrl::FullyEncoded)},
        {QStringLiteral("client_id"), m_clientId},
        {QStringLiteral("code_verifier"), authorization.codeVerifier},
    };
    // A cancelled sign-in takes nothing: the request is dropped, and tokens that came all the
    // same are neither returned nor saved.
    auto posting = post(QStringLiteral("oauth/token"), "application/x-www-form-urlencoded",
                        formBody(fields).value_or(QByteArray()), token);
    const HttpResponse response = co_await posting;
    const json::Value body = parseBody(successBody(response));
    json::requireObject(body, "token response");
    CodexCredentials credentials;
    credentials.idToken = requiredString(body, "id_token");
    credentials.accessToken = requiredString(body, "access_token");
    credentials.refreshToken = requiredString(body, "refresh_token");
    credentials.accountId = accountId(credentials.idToken);
    token.throwIfCancelled();
    co_return credentials;
}

QCoro::Task<CodexCredentials> CodexAuthClient::refresh(CodexCredentials credentials,
                                                       CancellationToken token) {
    token.throwIfCancelled();
    json::OrderedValue request = json::OrderedValue::object();
    request["client_id"] = m_clientId.toStdString();
    request["grant_type"] = "refresh_token";
    request["refresh_token"] = credentials.refreshToken.toStdString();
    // Once sent, the refresh token is spent: the request runs to its end and its tokens are
    // saved whatever `token` says, so a cancellation never leaves only a dead token stored.
    auto posting = post(QStringLiteral("oauth/token"), kJson, encode(request), CancellationToken());
    const HttpResponse response = co_await posting;
    const json::Value body = parseBody(successBody(response));
    json::requireObject(body, "refresh response");
    // Decode every field before changing anything, so a bad body changes nothing.
    const std::optional<QString> idToken = optionalString(body, "id_token");
    const std::optional<QString> accessToken = optionalString(body, "access_token");
    const std::optional<QString> refreshToken = optionalString(body, "refresh_token");

    CodexCredentials refreshed = credentials;
    if (idToken) {
        refreshed.idToken = *idToken;
        if (std::optional<QString> account = accountId(*idToken)) {
            refreshed.accountId = std::move(account);
        }
    }
    if (accessToken) {
        refreshed.accessToken = *accessToken;
    }
    if (refreshToken) {
        refreshed.refreshToken = *refreshToken;
    }
    auto saving = m_credentials.save(refreshed);
    co_await saving;
    token.throwIfCancelled();
    co_return refreshed;
}

std::optional<QString> CodexAuthClient::accountId(const QString& idToken) {
    const QStringList pieces = idToken.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (pieces.size() != 3) {
        return std::nullopt;
    }
    QByteArray payload = pieces[1].toLatin1();
    payload.replace('-', '+').replace('_', '/');
    payload.append(QByteArray((4 - payload.size() % 4) % 4, '='));
    const auto decoded =
        QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok) {
        return std::nullopt;
    }
    try {
        const json::Value claims = parseBody(decoded.decoded);
        if (!claims.is_object()) {
            return std::nullopt;
        }
        const auto authentication = claims.find(kOpenAIClaimNamespace);
        if (authentication == claims.end() || !authentication->is_object()) {
            return std::nullopt;
        }
        const auto account = authentication->find("chatgpt_account_id");
        if (account == authentication->end() || !account->is_string()) {
            return std::nullopt;
        }
        return QString::fromStdString(account->get<std::string>());
    } catch (const json::DecodingError&) {
        return std::nullopt;
    }
}

std::optional<QByteArray> CodexAuthClient::formBody(const FormFields& fields) {
    // Everything but the unreserved characters is escaped, "+", "&" and "=" included, so every
    // value reads back exactly as it was.
    QByteArray body;
    for (const auto& [name, value] : fields) {
        if (!body.isEmpty()) {
            body.append('&');
        }
        body.append(QUrl::toPercentEncoding(name))
            .append('=')
            .append(QUrl::toPercentEncoding(value));
    }
    if (body.isEmpty()) {
        return std::nullopt;
    }
    return body;
}

CodexClientError CodexAuthClient::serverError(int status, const QByteArray& data) {
    QString message;
    try {
        const json::Value body = parseBody(data);
        json::requireObject(body, "error response");
        const std::optional<QString> displayMessage = optionalString(body, "display_message");
        const std::optional<QString> description = optionalString(body, "error_description");
        const std::optional<QString> plainMessage = optionalString(body, "message");
        message = displayMessage.value_or(description.value_or(plainMessage.value_or(QString())));
    } catch (const json::DecodingError&) {
    }
    return CodexClientError::server(status, message);
}

HttpRequest CodexAuthClient::makeUsageRequest(const QString& accessToken,
                                              const std::optional<QString>& accountId) const {
    HttpRequest request;
    request.method = "GET";
    request.url = m_usageUrl;
    request.headers = {{"Authorization", "Bearer " + accessToken.toUtf8()},
                       {"User-Agent", "Quotamind/1.0"}};
    if (accountId && !accountId->isEmpty()) {
        request.headers.append({"ChatGPT-Account-Id", accountId->toUtf8()});
    }
    request.timeoutSeconds = kUsageTimeoutSeconds;
    request.ignoreCaches = true;
    return request;
}

AgentUsage CodexAuthClient::decodeUsage(const QByteArray& data, UsageSource source, Timestamp now) {
    const json::Value body = parseBody(data);
    json::requireObject(body, "usage response");
    AgentUsage usage;
    usage.planType = json::requiredString(body, "plan_type");
    const json::Value* rateLimit = json::optional(body, "rate_limit");
    if (rateLimit == nullptr) {
        throw CodexClientError(CodexClientError::Code::NoRateLimit);
    }
    for (const char* key : {"primary_window", "secondary_window"}) {
        if (const json::Value* window = json::optional(*rateLimit, key)) {
            usage.windows.push_back(usageWindow(*window));
        }
    }
    std::stable_sort(usage.windows.begin(), usage.windows.end(),
                     [](const UsageWindow& left, const UsageWindow& right) {
                         return left.durationSeconds < right.durationSeconds;
                     });
    if (usage.windows.empty()) {
        throw CodexClientError(CodexClientError::Code::NoRateLimit);
    }
    usage.provider = AgentProvider::codex();
    usage.agentName = "Codex";
    usage.updatedAt = now;
    usage.source = source;
    return usage;
}

void CodexAuthClient::storeInSharedSnapshot(const AgentUsage& usage) const {
    const std::optional<AgentUsageSnapshot> stored =
        SharedSnapshotStore::loadSnapshot(m_snapshotPreferences);
    SharedSnapshotStore::save(stored ? stored->replacing(usage) : AgentUsageSnapshot({usage}),
                              m_snapshotPreferences);
}

QCoro::Task<AgentUsage> CodexAuthClient::fetchUsageWithoutRefresh(QString accessToken,
                                                                  std::optional<QString> accountId,
                                                                  UsageSource source,
                                                                  CancellationToken token) {
    auto sending = send(makeUsageRequest(accessToken, accountId), token);
    const HttpResponse response = co_await sending;
    const AgentUsage usage = decodeUsage(successBody(response), source, m_clock.now());
    storeInSharedSnapshot(usage);
    co_return usage;
}

QCoro::Task<AgentUsage> CodexAuthClient::fetchUsage(CodexCredentials credentials,
                                                    bool retryAfterRefresh,
                                                    CancellationToken token) {
    auto sending = send(makeUsageRequest(credentials.accessToken, credentials.accountId), token);
    const HttpResponse response = co_await sending;
    if (response.status != 401 || !retryAfterRefresh) {
        const AgentUsage usage =
            decodeUsage(successBody(response), UsageSource::AccountSession, m_clock.now());
        storeInSharedSnapshot(usage);
        co_return usage;
    }

    std::exception_ptr failure;
    try {
        auto refreshing = refresh(credentials, token);
        const CodexCredentials refreshed = co_await refreshing;
        auto retrying = fetchUsage(refreshed, false, token);
        co_return co_await retrying;
    } catch (const CancelledError&) {
        throw;
    } catch (...) {
        failure = std::current_exception();
    }

    // Another process may have signed in or refreshed meanwhile; its tokens get one chance.
    std::optional<CodexCredentials> stored;
    try {
        auto loading = m_credentials.load();
        stored = co_await loading;
    } catch (const CancelledError&) {
        throw;
    } catch (...) {
    }
    if (stored && stored->accessToken != credentials.accessToken) {
        auto retrying = fetchUsage(*stored, false, token);
        co_return co_await retrying;
    }
    std::rethrow_exception(failure);
}
