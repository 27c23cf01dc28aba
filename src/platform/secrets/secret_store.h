#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QString>
#include <optional>

#include "core/cancellation_token.h"
#include "core/error.h"

// A failed secret store operation, with the condition every caller tells apart, so that each
// maps the same condition to the same outcome.
class SecretStoreError final : public Error {
public:
    enum class Status {
        NotFound,
        NotAvailable,  // no secret service to talk to
        AccessDenied,  // locked, Or unlocking was refused
        Cancelled,     // an unlock prompt was dismissed
        Failed,        // anything else the service reported
    };

    SecretStoreError(Status status, QString description)
        : m_status(status), m_description(std::move(description)) {}

    Status status() const { return m_status; }
    QString errorString() const override { return m_description; }

private:
    Status m_status;
    QString m_description;
};

// Generic-password items identified by a service and an account. Operations may wait on an
// unlock prompt or on the disk; none of them blocks the calling thread, and each resumes on it.
// Cancelling `cancellation` ends an operation with CancelledError.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // The data of an item of `service` (of `account`, when given; otherwise of any account), or
    // nothing when there is none. Throws SecretStoreError.
    virtual QCoro::Task<std::optional<QByteArray>> find(QString service,
                                                        std::optional<QString> account,
                                                        CancellationToken cancellation = {}) = 0;
    // Creates the item or replaces its data. Throws SecretStoreError.
    virtual QCoro::Task<> save(QString service, QString account, QString label, QByteArray data,
                               CancellationToken cancellation = {}) = 0;
    // Deletes the item; false when there was none. Throws SecretStoreError.
    virtual QCoro::Task<bool> remove(QString service, QString account,
                                     CancellationToken cancellation = {}) = 0;
};
