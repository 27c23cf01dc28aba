#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <optional>

#include "core/clock.h"
#include "core/preferences.h"
#include "model/agent_usage_snapshot.h"
#include "notify/threshold_alerts.h"
#include "platform/notifications/notification_center.h"

// One alert per agent's 5-hour and weekly window, due at the instant the window resets, so the
// user learns when an allowance is available again. Owns the on/off switch (stored under
// kEnabledKey in the program's own preferences) and mirrors the notification permission for the
// settings window. Lives on the main thread; every snapshot replaces all pending alerts.
//
// A request's identifier is "limit-reset.v1.<provider>.<durationSeconds>", its thread
// "limit-reset.<provider>", its user info "provider" and "durationSeconds"; it is due at the
// reset instant with the fraction of a second dropped.
class LimitNotificationManager final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled NOTIFY isEnabledChanged)
    Q_PROPERTY(NotificationCenter::AuthorizationStatus authorizationStatus READ authorizationStatus
                   NOTIFY authorizationStatusChanged)
    Q_PROPERTY(bool hasLoadedAuthorizationStatus READ hasLoadedAuthorizationStatus NOTIFY
                   authorizationStatusChanged)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
    Q_PROPERTY(QString statusTitle READ statusTitle NOTIFY statusTitleChanged)

public:
    using AuthorizationStatus = NotificationCenter::AuthorizationStatus;

    static inline const QString kEnabledKey = QStringLiteral("limitNotifications.enabled.v1");
    // The threshold alerts (ThresholdAlerts): their switch, their percents ("80, 95") and the
    // record of what was delivered for which window instance.
    static inline const QString kThresholdsEnabledKey =
        QStringLiteral("limitThresholds.enabled.v1");
    static inline const QString kThresholdsKey = QStringLiteral("limitThresholds.percents.v1");
    static inline const QString kDeliveredThresholdsKey =
        QStringLiteral("limitThresholds.delivered.v1");

    // `center` and `clock` must outlive the manager.
    LimitNotificationManager(NotificationCenter& center, Clock& clock, Preferences preferences,
                             QObject* parent = nullptr);

    // Once at program start, with the stored snapshot: a stored "on" is turned off when the
    // permission has been refused since. While no server is there (unavailable) the switch is
    // kept, and the latest snapshot's alerts are scheduled once a server appears.
    QCoro::Task<> start(std::optional<AgentUsageSnapshot> snapshot);
    // Asks for permission when it was never asked; true when alerts are on afterwards. Without a
    // server the switch is stored on all the same (false is returned).
    QCoro::Task<bool> enable(std::optional<AgentUsageSnapshot> snapshot);
    void disable();
    QCoro::Task<> refreshAuthorizationStatus();
    // Withdraws every pending alert and schedules the snapshot's, then delivers the threshold
    // alerts it has reached; nothing at all while off or while notifications are not allowed (the
    // snapshot is kept for a server that appears).
    void synchronize(const std::optional<AgentUsageSnapshot>& snapshot);

    // Threshold alerts go out while they and the reset alerts are on; off by default.
    bool thresholdAlertsEnabled() const;
    std::vector<int> thresholdPercents() const;
    void setThresholdAlerts(bool enabled, const std::vector<int>& percents);

    bool isEnabled() const { return m_isEnabled; }
    AuthorizationStatus authorizationStatus() const { return m_authorizationStatus; }
    bool hasLoadedAuthorizationStatus() const { return m_hasLoadedAuthorizationStatus; }
    const std::optional<QString>& lastError() const { return m_lastError; }
    QString lastErrorText() const { return m_lastError.value_or(QString()); }
    QString statusTitle() const;

Q_SIGNALS:
    void isEnabledChanged();
    void authorizationStatusChanged();
    void lastErrorChanged();
    void statusTitleChanged();
    // The user clicked an alert: the main window should show itself.
    void openMainWindowRequested();

private:
    bool isAllowed() const;
    // No server shows notifications right now, which is no refusal: one may appear at any time.
    bool isUnavailable() const;
    void setEnabled(bool enabled);
    void setLastError(std::optional<QString> error);
    void turnOff();
    void deliverThresholdAlerts(const AgentUsageSnapshot& snapshot);
    ThresholdAlerts::Delivered deliveredThresholds() const;
    // Records the delivery of `identifiers` for the window instance that resets at `resetDate`.
    void recordDelivered(const std::vector<QString>& identifiers, Timestamp resetDate);

    NotificationCenter& m_center;
    Clock& m_clock;
    Preferences m_preferences;
    bool m_isEnabled;
    AuthorizationStatus m_authorizationStatus = AuthorizationStatus::NotDetermined;
    bool m_hasLoadedAuthorizationStatus = false;
    std::optional<QString> m_lastError;
    // What synchronize() was last given, for when a server appears.
    std::optional<AgentUsageSnapshot> m_latestSnapshot;
};

// The alert for the reset of one of `usage`'s windows.
NotificationRequest limitResetRequest(const AgentUsage& usage, const UsageWindow& window);
