#include "codex_auth_file_usage_client.h"

#include "platform/bounded_file.h"
#include "sources/codex/codex_auth_file_error.h"

CodexAuthFileUsageClient::CodexAuthFileUsageClient(const QString& codexHome,
                                                   CodexAuthClient& client)
    : m_authFilePath(codexHome + QStringLiteral("/auth.json")), m_client(client) {}

QString CodexAuthFileUsageClient::codexHome(const QProcessEnvironment& environment,
                                            const QString& home) {
    // Codex itself ignores an empty CODEX_HOME, so the file it writes is where we look.
    QString configured = environment.value(QStringLiteral("CODEX_HOME"));
    if (!configured.isEmpty()) {
        return configured;
    }
    return home + QStringLiteral("/.codex");
}

std::optional<QString> CodexAuthFileUsageClient::string(const json::Value& dictionary,
                                                        std::string_view snake,
                                                        std::string_view camel) {
    for (const std::string_view key : {snake, camel}) {
        const auto found = dictionary.find(key);
        if (found != dictionary.end() && found->is_string()) {
            return QString::fromStdString(found->get<std::string>());
        }
    }
    return std::nullopt;
}

QCoro::Task<AgentUsage> CodexAuthFileUsageClient::fetchUsage(CancellationToken token) {
    auto reading = readRegularFileAsync(m_authFilePath, kMaxFileBytes);
    const std::optional<QByteArray> data = co_await reading;
    token.throwIfCancelled();
    if (!data) {
        throw CodexAuthFileError(CodexAuthFileError::Code::NotFound);
    }
    Tokens tokens = parseAuthFile(*data);
    auto fetching = m_client.fetchUsageWithoutRefresh(std::move(tokens.accessToken),
                                                      std::move(tokens.accountId),
                                                      UsageSource::LocalDesktop, token);
    co_return co_await fetching;
}

CodexAuthFileUsageClient::Tokens CodexAuthFileUsageClient::parseAuthFile(QByteArrayView data) {
    const json::Value file =
        json::parse(std::string_view(data.data(), static_cast<std::size_t>(data.size())));
    const auto tokens = file.is_object() ? file.find("tokens") : file.end();
    if (!file.is_object() || tokens == file.end() || !tokens->is_object()) {
        throw CodexAuthFileError(CodexAuthFileError::Code::Invalid);
    }
    std::optional<QString> accessToken = string(*tokens, "access_token", "accessToken");
    if (!accessToken || accessToken->isEmpty()) {
        throw CodexAuthFileError(CodexAuthFileError::Code::Invalid);
    }
    return {std::move(*accessToken), string(*tokens, "account_id", "accountId")};
}
