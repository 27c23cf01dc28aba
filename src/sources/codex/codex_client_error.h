#pragma once

#include <QString>
#include <cstdint>

#include "core/error.h"
#include "platform/secrets/secret_store.h"

// Why signing in with ChatGPT or reading the account's usage failed, with the sentence the
// user sees. Texts never contain a token: a server error carries only the server's message.
class CodexClientError final : public Error {
public:
    enum class Code {
        Server,
        SecretStore,
        NotSignedIn,
        InvalidResponse,
        SignInExpired,
        NoRateLimit
    };

    explicit CodexClientError(Code code) : m_code(code) {}
    // A status outside 2xx, with the message the server gave (possibly empty).
    static CodexClientError server(std::int64_t httpStatus, QString message);
    // A failure of the credentials item in the keyring; the text is a plain sentence for
    // `status`.
    static CodexClientError secretStore(SecretStoreError::Status status);

    Code code() const { return m_code; }
    // The HTTP status of `server`; 0 otherwise.
    std::int64_t status() const { return m_status; }
    // The server's message of `server`; empty otherwise.
    const QString& message() const { return m_message; }
    QString errorString() const override;

private:
    Code m_code;
    std::int64_t m_status = 0;
    SecretStoreError::Status m_secretStoreStatus = SecretStoreError::Status::Failed;
    QString m_message;
};
