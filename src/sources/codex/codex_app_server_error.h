#pragma once

#include "core/error.h"

// Why reading usage through a local `codex app-server` failed, with the sentence the user sees.
class CodexAppServerError final : public Error {
public:
    enum class Code {
        CodexNotInstalled,
        UntrustedCodexInstallation,
        LaunchFailed,
        TimedOut,
        ConnectionClosed,
        ProtocolViolation,
        RequestFailed,
        NoRateLimits,
    };

    explicit CodexAppServerError(Code code) : m_code(code) {}

    Code code() const { return m_code; }
    QString errorString() const override;

private:
    Code m_code;
};
