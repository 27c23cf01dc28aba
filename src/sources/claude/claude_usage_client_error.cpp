#include "claude_usage_client_error.h"

#include <QCoreApplication>

QString ClaudeUsageClientError::errorString() const {
    switch (m_code) {
        case Code::ServerError:
            return QCoreApplication::translate("ClaudeUsageClientError",
                                               "Claude usage request failed with HTTP %1.")
                .arg(m_httpStatus);
        case Code::CredentialsNotFound:
            return QCoreApplication::translate(
                "ClaudeUsageClientError",
                "Claude Code is not signed in on this computer. Run `claude login`.");
        case Code::InvalidCredentials:
            return QCoreApplication::translate(
                "ClaudeUsageClientError",
                "The local Claude Code session could not be read. Run `claude login` again.");
        case Code::SecretStoreAccessDenied:
            return QCoreApplication::translate(
                "ClaudeUsageClientError",
                "Unlock the keyring so Quotamind can read “Claude Code-credentials”, then "
                "refresh.");
        case Code::ExpiredCredentials:
            return QCoreApplication::translate(
                "ClaudeUsageClientError",
                "The Claude Code session has expired. Run `claude login`, then refresh.");
        case Code::Unauthorized:
            return QCoreApplication::translate(
                "ClaudeUsageClientError",
                "Claude rejected the local session. Run `claude login`, then refresh.");
        case Code::RateLimited:
            return QCoreApplication::translate(
                "ClaudeUsageClientError",
                "Claude usage is temporarily rate limited. Try refreshing in a few minutes.");
        case Code::NoRateLimits:
            return QCoreApplication::translate(
                "ClaudeUsageClientError",
                "Claude returned no 5-hour or weekly limit for this account.");
        case Code::InvalidResponse:
            return QCoreApplication::translate("ClaudeUsageClientError",
                                               "Claude returned an unsupported usage response.");
    }
    return {};
}
