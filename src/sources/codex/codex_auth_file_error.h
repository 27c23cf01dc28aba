#pragma once

#include "core/error.h"

// Why Codex's own credentials file gave no usable access token.
class CodexAuthFileError final : public Error {
public:
    enum class Code {
        NotFound,  // no auth.json where Codex keeps it
        Invalid,   // the file holds no non-empty access token
    };

    explicit CodexAuthFileError(Code code) : m_code(code) {}

    Code code() const { return m_code; }
    QString errorString() const override;

private:
    Code m_code;
};
