#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <optional>

#include "platform/secrets/secret_store.h"
#include "sources/codex/codex_credentials.h"

// The one stored item of the ChatGPT account: service "com.brindlecove.Quotamind.credentials",
// account "chatgpt", holding the JSON form of CodexCredentials. The item stays on this computer.
// The store is not owned. Failures of the store are CodexClientError::secretStore with its status
// number; an item that does not decode is the json::DecodingError.
class CredentialsStore final {
public:
    static inline const QString kService = QStringLiteral("com.brindlecove.Quotamind.credentials");
    static inline const QString kAccount = QStringLiteral("chatgpt");

    explicit CredentialsStore(SecretStore& store);
    Q_DISABLE_COPY_MOVE(CredentialsStore)

    // None when nothing is stored.
    QCoro::Task<std::optional<CodexCredentials>> load();
    // Creates the item or replaces its data in place.
    QCoro::Task<> save(CodexCredentials credentials);
    // Signs out. Deleting what is not there succeeds.
    QCoro::Task<> deleteCredentials();

private:
    SecretStore& m_store;
};
