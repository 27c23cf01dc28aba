#include "codex_app_server_error.h"

#include <QCoreApplication>

QString CodexAppServerError::errorString() const {
    auto tr = [](const char* text) {
        return QCoreApplication::translate("CodexAppServerError", text);
    };
    switch (m_code) {
        case Code::codexNotInstalled:
            return tr("Install or update Codex on this computer to use its current sign-in.");
        case Code::untrustedCodexInstallation:
            return tr("The installed Codex copy could not be verified.");
        case Code::launchFailed:
            return tr("Codex could not be started.");
        case Code::timedOut:
            return tr("Codex did not respond in time.");
        case Code::connectionClosed:
            return tr("Codex closed the connection before returning usage.");
        case Code::protocolViolation:
            return tr("Codex returned an unsupported response.");
        case Code::requestFailed:
            return tr("Codex could not load rate limits for the current account.");
        case Code::noRateLimits:
            return tr("No Codex rate-limit window is available for this account.");
    }
    return {};
}
