#include "claude_usage_client_error.h"

#include <QCoreApplication>

QString ClaudeUsageClientError::errorString() const {
    auto tr = [](const char* text) {
        return QCoreApplication::translate("ClaudeUsageClientError", text);
    };
    switch (m_code) {
        case Code::ServerError:
            return tr("Claude usage request failed with HTTP %1.").arg(m_httpStatus);
        case Code::CredentialsNotFound:
            return tr("Claude Code is not signed in on this computer. Run `claude login`.");
        case Code::InvalidCredentials:
            return tr("The local Claude Code session could not be read. Run `claude login` again.");
        case Code::SecretStoreAccessDenied:
            return tr(
                "Unlock the keyring so Quotamind can read “Claude Code-credentials”, then "
                "refresh.");
        case Code::ExpiredCredentials:
            return tr("The Claude Code session has expired. Run `claude login`, then refresh.");
        case Code::Unauthorized:
            return tr("Claude rejected the local session. Run `claude login`, then refresh.");
        case Code::RateLimited:
            return tr("Claude usage is temporarily rate limited. Try refreshing in a few minutes.");
        case Code::NoRateLimits:
            return tr("Claude returned no 5-hour or weekly limit for this account.");
        case Code::InvalidResponse:
            return tr("Claude returned an unsupported usage response.");
    }
    return {};
}
