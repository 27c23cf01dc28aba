#include "codex_client_error.h"

#include <QCoreApplication>

CodexClientError CodexClientError::server(std::int64_t httpStatus, QString message) {
    CodexClientError error(Code::Server);
    error.m_status = httpStatus;
    error.m_message = std::move(message);
    return error;
}

CodexClientError CodexClientError::secretStore(SecretStoreError::Status status) {
    CodexClientError error(Code::SecretStore);
    error.m_secretStoreStatus = status;
    return error;
}

namespace {

// A plain sentence for each status of the keyring that holds the ChatGPT sign-in.
QString keyringSentence(SecretStoreError::Status status) {
    switch (status) {
        case SecretStoreError::Status::NotFound:
            return QCoreApplication::translate("CodexClientError",
                                               "The ChatGPT sign-in is not in the keyring.");
        case SecretStoreError::Status::NotAvailable:
            return QCoreApplication::translate(
                "CodexClientError",
                "No keyring is available on this computer to keep the ChatGPT sign-in.");
        case SecretStoreError::Status::AccessDenied:
            return QCoreApplication::translate(
                "CodexClientError",
                "The keyring is locked or refused access to the ChatGPT sign-in. Unlock it, "
                "then try again.");
        case SecretStoreError::Status::Cancelled:
            return QCoreApplication::translate(
                "CodexClientError",
                "The keyring was not unlocked, so the ChatGPT sign-in could not be used.");
        case SecretStoreError::Status::Failed:
            break;
    }
    return QCoreApplication::translate(
        "CodexClientError", "The keyring could not read or store the ChatGPT sign-in. Try again.");
}

}  // namespace

QString CodexClientError::errorString() const {
    switch (m_code) {
        case Code::Server:
            if (!m_message.isEmpty()) {
                return m_message;
            }
            return QCoreApplication::translate("CodexClientError",
                                               "OpenAI request failed (HTTP %1).")
                .arg(m_status);
        case Code::SecretStore:
            return keyringSentence(m_secretStoreStatus);
        case Code::NotSignedIn:
            return QCoreApplication::translate("CodexClientError",
                                               "Sign in with ChatGPT to load Codex usage.");
        case Code::InvalidResponse:
            return QCoreApplication::translate("CodexClientError",
                                               "OpenAI returned an invalid response.");
        case Code::SignInExpired:
            return QCoreApplication::translate("CodexClientError",
                                               "The sign-in code expired. Start again.");
        case Code::NoRateLimit:
            return QCoreApplication::translate(
                "CodexClientError", "No Codex rate-limit window is available for this account.");
    }
    return {};
}
