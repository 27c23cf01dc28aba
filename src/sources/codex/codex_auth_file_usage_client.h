#pragma once

#include <QByteArrayView>
#include <QCoro/QCoroTask>
#include <QProcessEnvironment>
#include <QString>
#include <optional>

#include "core/cancellation_token.h"
#include "core/json.h"
#include "model/agent_usage.h"
#include "sources/codex/codex_auth_client.h"

// Codex usage read with the access token that Codex itself keeps in "auth.json" in its home
// folder. The file is only read; its token is never refreshed or written, so a 401 is an error.
//
// fetchUsage() throws CodexAuthFileError::notFound when there is no file, a PlatformError when
// it cannot be read (a folder or other non-file in its place, or over kMaxFileBytes),
// json::DecodingError when it is not JSON, CodexAuthFileError::invalid when it holds no
// non-empty access token, and whatever the usage request throws (see CodexAuthClient). The file
// is read on a worker thread. Holds no state; the auth client is not owned.
class CodexAuthFileUsageClient final {
public:
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    // `codexHome` is the folder that holds auth.json.
    CodexAuthFileUsageClient(const QString& codexHome, CodexAuthClient& client);
    Q_DISABLE_COPY_MOVE(CodexAuthFileUsageClient)

    // $CODEX_HOME when it is set and not empty, taken as it stands; otherwise `home`/.codex.
    static QString codexHome(const QProcessEnvironment& environment, const QString& home);

    const QString& authFilePath() const { return m_authFilePath; }

    // The usage, with source localDesktop; also stored in the shared snapshot.
    QCoro::Task<AgentUsage> fetchUsage(CancellationToken token = {});

    // The value under `snake` when it is a string, else the one under `camel` when it is one.
    static std::optional<QString> string(const json::Value& dictionary, std::string_view snake,
                                         std::string_view camel);

    // What fetchUsage() takes from the file.
    struct Tokens {
        QString accessToken;
        std::optional<QString> accountId;
    };
    // Throws json::DecodingError when `data` is not JSON, CodexAuthFileError::invalid when it
    // holds no non-empty access token.
    static Tokens parseAuthFile(QByteArrayView data);

private:
    QString m_authFilePath;
    CodexAuthClient& m_client;
};
