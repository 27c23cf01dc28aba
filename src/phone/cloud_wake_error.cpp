#include "cloud_wake_error.h"

#include <QCoreApplication>

CloudWakeError CloudWakeError::accountUnavailable(CloudAccountStatus status) {
    CloudWakeError error(Code::accountUnavailable);
    error.m_accountStatus = status;
    return error;
}

QString CloudWakeError::errorString() const {
    switch (m_code) {
        case Code::missingEntitlement:
            return QCoreApplication::translate(
                "CloudWakeError",
                "This build is missing its iCloud entitlement. Update the development "
                "provisioning profile to enable automatic iPhone wake-ups.");
        case Code::missingCloudKitResult:
            return QCoreApplication::translate(
                "CloudWakeError", "CloudKit did not return a result for the wake channel.");
        case Code::accountUnavailable:
            break;
    }
    switch (m_accountStatus) {
        case CloudAccountStatus::couldNotDetermine:
        case CloudAccountStatus::temporarilyUnavailable:
            return QCoreApplication::translate(
                "CloudWakeError",
                "iCloud is temporarily unavailable. Automatic wake-ups will retry later.");
        case CloudAccountStatus::restricted:
            return QCoreApplication::translate("CloudWakeError",
                                               "iCloud access is restricted on this device.");
        case CloudAccountStatus::noAccount:
            return QCoreApplication::translate(
                "CloudWakeError",
                "Sign in to iCloud on this device to enable automatic iPhone wake-ups.");
        case CloudAccountStatus::available:
            return {};
    }
    // A status the cloud service added later.
    return QCoreApplication::translate("CloudWakeError", "iCloud is unavailable on this device.");
}
