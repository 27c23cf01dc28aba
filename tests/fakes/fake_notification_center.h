#pragma once

#include <QMap>
#include <optional>

#include "core/error.h"
#include "platform/notifications/notification_center.h"

namespace test {

// A notification center that keeps what is scheduled and answers as the test sets it.
class FakeNotificationCenter final : public NotificationCenter {
public:
    AuthorizationStatus status = AuthorizationStatus::Authorized;
    // The status once the user was asked; nothing when asking fails.
    std::optional<AuthorizationStatus> answer = AuthorizationStatus::Authorized;
    std::optional<QString> addError;
    QMap<QString, NotificationRequest> pending;

    QCoro::Task<AuthorizationStatus> authorizationStatus() override { co_return status; }
    QCoro::Task<> requestAuthorization() override {
        if (!answer) {
            throw PlatformError(QStringLiteral("No answer"));
        }
        status = *answer;
        co_return;
    }
    void add(NotificationRequest request, Completion completion) override {
        pending.insert(request.identifier, request);
        completion(addError);
    }
    void removeAllPendingRequests() override { pending.clear(); }
};

}  // namespace test
