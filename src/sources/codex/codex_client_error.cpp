#include "codex_client_error.h"

#include <QCoreApplication>

CodexClientError CodexClientError::server(std::int64_t httpStatus, QString message) {
    CodexClientError error(Code::server);
    error.m_status = httpStatus;
    error.m_message = std::move(message);
    return error;
}

CodexClientError CodexClientError::keychain(std::int32_t status) {
    CodexClientError error(Code::keychain);
    error.m_status = status;
    return error;
}

QString CodexClientError::localizedDescription() const {
    auto tr = [](const char* text) {
        return QCoreApplication::translate("CodexClientError", text);
    };
    switch (m_code) {
        case Code::server:
            if (!m_message.isEmpty()) {
                return m_message;
            }
            return tr("OpenAI request failed (HTTP %1).").arg(m_status);
        case Code::keychain:
            return tr("Keychain error %1.").arg(m_status);
        case Code::notSignedIn:
            return tr("Sign in with ChatGPT to load Codex usage.");
        case Code::invalidResponse:
            return tr("OpenAI returned an invalid response.");
        case Code::signInExpired:
            return tr("The sign-in code expired. Start again.");
        case Code::noRateLimit:
            return tr("No Codex rate-limit window is available for this account.");
    }
    return {};
}
