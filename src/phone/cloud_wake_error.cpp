#include "cloud_wake_error.h"

#include <QCoreApplication>

CloudWakeError CloudWakeError::accountUnavailable(CloudAccountStatus status) {
    CloudWakeError error(Code::AccountUnavailable);
    error.m_accountStatus = status;
    return error;
}

QString CloudWakeError::errorString() const {
    switch (m_code) {
        case Code::MissingEntitlement:
            return QCoreApplication::translate(
                "CloudWakeError",
                "This build is missing its iCloud entitlement. Update the development "
                "provisioning profile to enable automatic iPhone wake-ups.");
        case Code::MissingCloudKitResult:
            return QCoreApplication::translate(
                "CloudWakeError", "CloudKit did not return a result for the wake channel.");
        case Code::AccountUnavailable:
            break;
    }
    switch (m_accountStatus) {
        case CloudAccountStatus::CouldNotDetermine:
        case CloudAccountStatus::TemporarilyUnavailable:
            return QCoreApplication::translate(
                "CloudWakeError",
                "iCloud is temporarily unavailable. Automatic wake-ups will retry later.");
        case CloudAccountStatus::Restricted:
            return QCoreApplication::translate("CloudWakeError",
                                               "iCloud access is restricted on this device.");
        case CloudAccountStatus::NoAccount:
            return QCoreApplication::translate(
                "CloudWakeError",
                "Sign in to iCloud on this device to enable automatic iPhone wake-ups.");
        case CloudAccountStatus::Available:
            return {};
    }
    // A status the cloud service added later.
    return QCoreApplication::translate("CloudWakeError", "iCloud is unavailable on this device.");
}
