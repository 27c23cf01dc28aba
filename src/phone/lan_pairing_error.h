#pragma once

#include "core/error.h"

// Why a frame of the phone link could not be made or read.
class LanPairingError final : public Error {
public:
    enum class Code {
        InvalidCode,  // an incoming frame announced a length of zero or above the maximum
        Unavailable,  // an outgoing message is larger than a frame may hold
    };

    explicit LanPairingError(Code code) : m_code(code) {}

    Code code() const { return m_code; }
    QString errorString() const override;

private:
    Code m_code;
};
