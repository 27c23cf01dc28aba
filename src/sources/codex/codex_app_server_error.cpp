#include "codex_app_server_error.h"

#include <QCoreApplication>

QString CodexAppServerError::errorString() const {
    switch (m_code) {
        case Code::CodexNotInstalled:
            return QCoreApplication::translate(
                "CodexAppServerError",
                "Install or update Codex on this computer to use its current sign-in.");
        case Code::UntrustedCodexInstallation:
            return QCoreApplication::translate("CodexAppServerError",
                                               "The installed Codex copy could not be verified.");
        case Code::LaunchFailed:
            return QCoreApplication::translate("CodexAppServerError",
                                               "Codex could not be started.");
        case Code::TimedOut:
            return QCoreApplication::translate("CodexAppServerError",
                                               "Codex did not respond in time.");
        case Code::ConnectionClosed:
            return QCoreApplication::translate(
                "CodexAppServerError", "Codex closed the connection before returning usage.");
        case Code::ProtocolViolation:
            return QCoreApplication::translate("CodexAppServerError",
                                               "Codex returned an unsupported response.");
        case Code::RequestFailed:
            return QCoreApplication::translate(
                "CodexAppServerError", "Codex could not load rate limits for the current account.");
        case Code::NoRateLimits:
            return QCoreApplication::translate(
                "CodexAppServerError", "No Codex rate-limit window is available for this account.");
    }
    return {};
}
