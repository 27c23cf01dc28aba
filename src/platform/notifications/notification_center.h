#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>

#include "core/timestamp.h"

// One notification to show at a wall-clock instant.
struct NotificationRequest {
    // Requests with equal identifiers replace each other, pending or shown.
    QString identifier;
    QString title;
    QString body;
    QString threadIdentifier;
    QVariantMap userInfo;
    Timestamp fireDate;
};

// Where the program's local notifications go: the permission, scheduling one-shot requests and
// withdrawing the pending ones. Lives on the main thread.
class NotificationCenter : public QObject {
    Q_OBJECT

public:
    // Only `authorized`, `provisional` and `ephemeral` allow notifications; `unavailable` means
    // there is nothing to show them with.
    enum class AuthorizationStatus {
        NotDetermined,
        Denied,
        Authorized,
        Provisional,
        Ephemeral,
        Unavailable
    };
    Q_ENUM(AuthorizationStatus)

    // Called once with the error text when the request could not be shown, or with nothing once
    // it was shown; never for a request withdrawn before its instant. Runs on the main thread.
    using Completion = std::function<void(std::optional<QString> error)>;

    using QObject::QObject;

    virtual QCoro::Task<AuthorizationStatus> authorizationStatus() = 0;
    // Asks for permission to show alerts with sounds; throws Error when the question fails.
    virtual QCoro::Task<> requestAuthorization() = 0;
    virtual void add(NotificationRequest request, Completion completion) = 0;
    // Pending requests only: notifications already shown stay.
    virtual void removeAllPendingRequests() = 0;

Q_SIGNALS:
    // The permission may read differently now; read it again.
    void authorizationMayHaveChanged();
    // The user activated a shown notification (clicked its body).
    void defaultActionInvoked(const QString& identifier);
};
