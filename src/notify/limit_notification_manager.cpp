#include "limit_notification_manager.h"

#include <QPointer>
#include <cmath>

#include "core/error.h"
#include "core/json.h"
#include "notify/logging.h"
#include "notify/threshold_alerts.h"

NotificationRequest limitResetRequest(const AgentUsage& usage, const UsageWindow& window) {
    const QString provider = QString::fromStdString(usage.provider.rawValue);
    return {
        .identifier =
            QStringLiteral("limit-reset.v1.%1.%2").arg(provider).arg(window.durationSeconds),
        .title = LimitNotificationManager::tr("%1 limit restored")
                     .arg(QString::fromStdString(usage.agentName)),
        .body = window.durationSeconds == UsageWindow::kFiveHourSeconds
                    ? LimitNotificationManager::tr("Your 5-hour limit is available again.")
                    : LimitNotificationManager::tr("Your weekly limit is available again."),
        .threadIdentifier = QStringLiteral("limit-reset.") + provider,
        .userInfo = {{QStringLiteral("provider"), provider},
                     {QStringLiteral("durationSeconds"), qint64{window.durationSeconds}}},
        // Due at the whole second, as a calendar date without fractions.
        .fireDate = Timestamp::fromUnixSeconds(std::floor(window.resetDate.unixSeconds())),
    };
}

LimitNotificationManager::LimitNotificationManager(NotificationCenter& center, Clock& clock,
                                                   Preferences preferences, QObject* parent)
    : QObject(parent),
      m_center(center),
      m_clock(clock),
      m_preferences(std::move(preferences)),
      m_isEnabled(m_preferences.boolean(kEnabledKey).value_or(false)) {
    connect(&m_center, &NotificationCenter::authorizationMayHaveChanged, this,
            [this] { QCoro::Task<> refreshing = refreshAuthorizationStatus(); });
    connect(&m_center, &NotificationCenter::defaultActionInvoked, this,
            &LimitNotificationManager::openMainWindowRequested);
}

QCoro::Task<> LimitNotificationManager::start(std::optional<AgentUsageSnapshot> snapshot) {
    QPointer<LimitNotificationManager> self(this);
    QCoro::Task<> refreshing = refreshAuthorizationStatus();
    co_await refreshing;
    if (!self) {
        co_return;
    }
    if (m_isEnabled && isAllowed()) {
        synchronize(snapshot);
    } else if (m_isEnabled && !isUnavailable()) {
        turnOff();
    } else {
        // Off, or on with no server yet: the alerts are scheduled once one appears.
        m_latestSnapshot = std::move(snapshot);
        m_center.removeAllPendingRequests();
    }
}

QCoro::Task<bool> LimitNotificationManager::enable(std::optional<AgentUsageSnapshot> snapshot) {
    QPointer<LimitNotificationManager> self(this);
    setLastError(std::nullopt);
    if (m_authorizationStatus == AuthorizationStatus::NotDetermined) {
        std::optional<QString> failure;
        try {
            QCoro::Task<> asking = m_center.requestAuthorization();
            co_await asking;
        } catch (const Error& error) {
            failure = error.errorString();
        }
        if (!self) {
            co_return false;
        }
        if (failure) {
            setEnabled(false);
            setLastError(std::move(failure));
            co_return false;
        }
        QCoro::Task<> refreshing = refreshAuthorizationStatus();
        co_await refreshing;
        if (!self) {
            co_return false;
        }
    }
    if (!isAllowed() && !isUnavailable()) {
        turnOff();
        co_return false;
    }
    // Without a server the switch is stored on all the same; the alerts come once one appears.
    setEnabled(true);
    synchronize(snapshot);
    co_return isAllowed();
}

void LimitNotificationManager::disable() {
    setLastError(std::nullopt);
    turnOff();
}

QCoro::Task<> LimitNotificationManager::refreshAuthorizationStatus() {
    QPointer<LimitNotificationManager> self(this);
    QCoro::Task<AuthorizationStatus> reading = m_center.authorizationStatus();
    const AuthorizationStatus status = co_await reading;
    if (!self) {
        co_return;
    }
    const bool waitedForServer = m_hasLoadedAuthorizationStatus && !isAllowed();
    if (status != m_authorizationStatus || !m_hasLoadedAuthorizationStatus) {
        m_authorizationStatus = status;
        m_hasLoadedAuthorizationStatus = true;
        Q_EMIT authorizationStatusChanged();
        Q_EMIT statusTitleChanged();
    }
    if (m_isEnabled && !isAllowed() && !isUnavailable() &&
        status != AuthorizationStatus::NotDetermined) {
        turnOff();
    } else if (m_isEnabled && isAllowed() && waitedForServer) {
        // A server appeared: the alerts that waited for one.
        synchronize(m_latestSnapshot);
    }
}

void LimitNotificationManager::synchronize(const std::optional<AgentUsageSnapshot>& snapshot) {
    m_latestSnapshot = snapshot;
    if (!m_isEnabled || !isAllowed()) {
        return;
    }
    m_center.removeAllPendingRequests();
    if (!snapshot) {
        return;
    }
    const Timestamp now = m_clock.now();
    QPointer<LimitNotificationManager> self(this);
    for (const AgentUsage& usage : snapshot->usages) {
        for (const UsageWindow& window : usage.windows) {
            const bool supported = window.durationSeconds == UsageWindow::kFiveHourSeconds ||
                                   window.durationSeconds == UsageWindow::kWeeklySeconds;
            if (!supported || !(window.resetDate > now)) {
                continue;
            }
            m_center.add(limitResetRequest(usage, window), [self](std::optional<QString> error) {
                if (self && error) {
                    self->setLastError(std::move(error));
                }
            });
        }
    }
    deliverThresholdAlerts(*snapshot);
}

bool LimitNotificationManager::thresholdAlertsEnabled() const {
    return m_preferences.boolean(kThresholdsEnabledKey).value_or(false);
}

std::vector<int> LimitNotificationManager::thresholdPercents() const {
    return ThresholdAlerts::parsePercents(m_preferences.string(kThresholdsKey).value_or(QString()))
        .value_or(ThresholdAlerts::kDefaultPercents);
}

void LimitNotificationManager::setThresholdAlerts(bool enabled, const std::vector<int>& percents) {
    m_preferences.setBool(kThresholdsEnabledKey, enabled);
    m_preferences.setString(kThresholdsKey, ThresholdAlerts::formatPercents(percents));
    if (enabled) {
        synchronize(m_latestSnapshot);
    }
}

void LimitNotificationManager::deliverThresholdAlerts(const AgentUsageSnapshot& snapshot) {
    if (!thresholdAlertsEnabled()) {
        return;
    }
    const ThresholdAlerts::Delivered delivered = deliveredThresholds();
    QPointer<LimitNotificationManager> self(this);
    for (ThresholdAlerts::Due& due :
         ThresholdAlerts::due(snapshot, thresholdPercents(), delivered, m_clock.now())) {
        // Recorded once delivered: an alert that fails goes out with a later snapshot.
        m_center.add(due.request, [self, identifiers = due.identifiers,
                                   resetDate = due.resetDate](std::optional<QString> error) {
            if (!self) {
                return;
            }
            if (error) {
                self->setLastError(std::move(error));
            } else {
                self->recordDelivered(identifiers, resetDate);
            }
        });
    }
}

ThresholdAlerts::Delivered LimitNotificationManager::deliveredThresholds() const {
    if (const auto bytes = m_preferences.data(kDeliveredThresholdsKey)) {
        try {
            return ThresholdAlerts::decode(std::string_view(bytes->constData(), bytes->size()));
        } catch (const json::DecodingError&) {
            // An unreadable record delivers again at most once per window instance.
        }
    }
    return {};
}

void LimitNotificationManager::recordDelivered(const std::vector<QString>& identifiers,
                                               Timestamp resetDate) {
    ThresholdAlerts::Delivered delivered =
        ThresholdAlerts::withoutPast(deliveredThresholds(), m_clock.now());
    for (const QString& id : identifiers) {
        delivered[id] = resetDate;
    }
    m_preferences.setData(kDeliveredThresholdsKey,
                          QByteArray::fromStdString(ThresholdAlerts::encode(delivered)));
}

QString LimitNotificationManager::statusTitle() const {
    if (isAllowed()) {
        return m_isEnabled ? tr("On") : tr("Off");
    }
    switch (m_authorizationStatus) {
        case AuthorizationStatus::Denied:
            return tr("Off in System Settings");
        case AuthorizationStatus::NotDetermined:
            return tr("Not set up");
        default:
            return tr("Unavailable");
    }
}

bool LimitNotificationManager::isAllowed() const {
    return m_authorizationStatus == AuthorizationStatus::Authorized ||
           m_authorizationStatus == AuthorizationStatus::Provisional ||
           m_authorizationStatus == AuthorizationStatus::Ephemeral;
}

bool LimitNotificationManager::isUnavailable() const {
    return m_authorizationStatus == AuthorizationStatus::Unavailable;
}

void LimitNotificationManager::setEnabled(bool enabled) {
    m_preferences.setBool(kEnabledKey, enabled);
    if (enabled != m_isEnabled) {
        m_isEnabled = enabled;
        Q_EMIT isEnabledChanged();
        Q_EMIT statusTitleChanged();
    }
}

void LimitNotificationManager::setLastError(std::optional<QString> error) {
    if (error != m_lastError) {
        if (error) {
            qCWarning(lcNotify).noquote() << "reset alert not scheduled:" << *error;
        }
        m_lastError = std::move(error);
        Q_EMIT lastErrorChanged();
    }
}

void LimitNotificationManager::turnOff() {
    setEnabled(false);
    m_center.removeAllPendingRequests();
}
