#include "codex_app_server_error.h"

#include <QCoreApplication>

QString CodexAppServerError::errorString() const {
    auto tr = [](const char* text) {
        return QCoreApplication::translate("CodexAppServerError", text);
    };
    switch (m_code) {
        case Code::CodexNotInstalled:
            return tr("Install or update Codex on this computer to use its current sign-in.");
        case Code::UntrustedCodexInstallation:
            return tr("The installed Codex copy could not be verified.");
        case Code::LaunchFailed:
            return tr("Codex could not be started.");
        case Code::TimedOut:
            return tr("Codex did not respond in time.");
        case Code::ConnectionClosed:
            return tr("Codex closed the connection before returning usage.");
        case Code::ProtocolViolation:
            return tr("Codex returned an unsupported response.");
        case Code::RequestFailed:
            return tr("Codex could not load rate limits for the current account.");
        case Code::NoRateLimits:
            return tr("No Codex rate-limit window is available for this account.");
    }
    return {};
}
