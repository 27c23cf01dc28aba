#pragma once

#include <QString>

#include "core/error.h"
#include "phone/cloud_database.h"

// Why a wake signal for the phone could not be written, with the sentence the user sees.
class CloudWakeError final : public Error {
public:
    enum class Code { AccountUnavailable, MissingEntitlement, MissingCloudKitResult };

    explicit CloudWakeError(Code code) : m_code(code) {}
    static CloudWakeError accountUnavailable(CloudAccountStatus status);

    Code code() const { return m_code; }
    // The account's status, for `accountUnavailable`.
    CloudAccountStatus accountStatus() const { return m_accountStatus; }
    // Empty for an account that is available, which is never reported as unavailable.
    QString errorString() const override;

private:
    Code m_code;
    CloudAccountStatus m_accountStatus = CloudAccountStatus::CouldNotDetermine;
};
