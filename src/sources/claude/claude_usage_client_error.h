#pragma once

#include "core/error.h"

// Why reading Claude usage failed, with the sentence the user sees.
class ClaudeUsageClientError final : public Error {
public:
    enum class Code {
        ServerError,
        CredentialsNotFound,
        InvalidCredentials,
        SecretStoreAccessDenied,
        ExpiredCredentials,
        Unauthorized,
        RateLimited,
        NoRateLimits,
        InvalidResponse,
    };

    explicit ClaudeUsageClientError(Code code, int httpStatus = 0)
        : m_code(code), m_httpStatus(httpStatus) {}
    static ClaudeUsageClientError serverError(int httpStatus) {
        return ClaudeUsageClientError(Code::ServerError, httpStatus);
    }

    Code code() const { return m_code; }
    // The status of a serverError; 0 otherwise.
    int httpStatus() const { return m_httpStatus; }
    QString errorString() const override;

private:
    Code m_code;
    int m_httpStatus;
};
