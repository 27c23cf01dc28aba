#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/cancellation_token.h"
#include "core/clock.h"
#include "core/job.h"
#include "core/preferences.h"
#include "history/usage_history.h"
#include "model/adaptive_refresh_policy.h"
#include "model/agent_usage_snapshot.h"
#include "platform/autostart.h"
#include "platform/widget_center.h"
#include "store/last_read_tracker.h"
#include "store/session_status.h"
#include "store/store_services.h"

// The heart of the tray program: owns the current snapshot, decides when each agent is read
// again, asks the sources in their order of precedence, merges what they return and hands every
// changed snapshot to the shared container, the widgets, the notifications and the phone link.
//
// Lives on the main thread, like every task it runs. Its loops (periodic refresh, Codex live
// updates, the reset watch) are Jobs that hold the store weakly; destroying the store cancels them
// and every source call it is waiting on. The services are not owned and must outlive the store.
class UsageStore final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)
    Q_PROPERTY(
        bool launchAtLoginEnabled READ launchAtLoginEnabled NOTIFY launchAtLoginEnabledChanged)
    Q_PROPERTY(QString inlineError READ inlineErrorText NOTIFY errorsChanged)

public:
    struct Services {
        Clock& clock;
        CodexAppServerSource& appServer;
        AgentUsageSource& codexAuthFile;
        CodexAccount& account;
        AgentUsageSource& claude;
        SnapshotNotifications& notifications;
        PhoneFollower& phone;
        WidgetCenter& widgets;
        Autostart& autostart;
        // The app group's domain that holds the shared snapshot.
        Preferences sharedPreferences;
        // Keeps every applied reading and forecasts from them; none: no history, no forecasts.
        UsageHistory* history = nullptr;
    };

    // A Codex usage and the kind of session it came from.
    using CodexRead = std::pair<AgentUsage, SessionStatus>;

    // A cycle runs this long after each reset time of the snapshot, for the new allowance.
    static constexpr double kRefreshAfterResetSeconds = 5;
    // Seconds before the next automatic cycle for an agent the store has not read yet.
    static constexpr double kIntervalWithoutPolicySeconds = 120;
    // Delays before a live Codex session is reopened: 1 s, doubling to at most 60 s.
    static constexpr double kFirstLiveRetrySeconds = 1;
    static constexpr double kLongestLiveRetrySeconds = 60;

    explicit UsageStore(Services services, QObject* parent = nullptr);
    ~UsageStore() override;
    Q_DISABLE_COPY_MOVE(UsageStore)

    // Published state.
    const std::optional<AgentUsageSnapshot>& usageSnapshot() const { return m_usageSnapshot; }
    SessionStatus sessionStatus() const { return m_sessionStatus; }
    bool isRefreshing() const { return m_isRefreshing; }
    // The running cycle is one the user asked for (a refresh button, a sign-out), which views may
    // show in place of what they show; background cycles leave the views as they are.
    bool isUserRefresh() const { return m_isRefreshing && m_isUserRefresh; }
    // A refresh cycle has ended since the store was made.
    bool hasCompletedRefresh() const { return m_hasCompletedRefresh; }
    // Each agent's last successful read; announced by lastReadTimesChanged.
    const AgentReadTimes& lastReadTimes() const { return m_lastReads.times(); }
    // Where each window of the snapshot is heading; announced by forecastsChanged.
    const PaceForecasts& forecasts() const { return m_forecasts; }
    const std::optional<QString>& inlineError() const { return m_inlineError; }
    QString inlineErrorText() const { return m_inlineError.value_or(QString()); }
    const std::map<std::string, QString>& providerErrors() const { return m_providerErrors; }
    std::optional<QString> error(const AgentProvider& provider) const;
    bool launchAtLoginEnabled() const { return m_launchAtLoginEnabled; }
    bool isCodexLiveConnected() const { return m_isCodexLiveConnected; }

    // Once per process: the phone link, the first refresh, live updates, the periodic loop.
    QCoro::Task<> start();
    // What the refresh buttons do: report failures, read both agents.
    QCoro::Task<> refresh();
    // One refresh cycle; dropped when one is already running.
    QCoro::Task<> refresh(bool reportFailure, bool includeCodex);

    // Merges one agent's fresh usage; an unchanged usage only clears that agent's error.
    void apply(const AgentUsage& usage, SessionStatus status);
    // Publishes a changed snapshot to every follower.
    void apply(const AgentUsageSnapshot& snapshot, SessionStatus status);
    void handleRefreshFailure(const QString& errorText, const AgentProvider& provider,
                              bool reportFailure);
    void updateInlineError();
    // Restarts the wait for the snapshot's next reset time.
    void watchResets();
    // Restarts the periodic loop: one wait of automaticRefreshInterval from now, then a cycle.
    void schedulePeriodicRefresh();
    double automaticRefreshInterval(Timestamp now) const;
    // Registers or unregisters the login item off the main thread, then reads it back.
    QCoro::Task<> setLaunchAtLogin(bool enabled);

    // The Codex read of one cycle: app-server, then Codex's auth file, then the ChatGPT account.
    QCoro::Task<CodexRead> fetchAgentUsage();
    void startCodexLiveUpdates();
    // The phone asked for fresh data: a cycle, unless one started less than
    // PhoneDelivery::kRemoteRefreshSpacingSeconds ago.
    void handleRemoteRefreshRequest();

    // The ChatGPT sign-in's outcome for Codex: an error to show, or none while it runs.
    void setAccountError(std::optional<QString> text);
    // A failure of something the user asked for, shown in the inline error line.
    void showError(const QString& text);
    // The stored ChatGPT credentials were removed: the agents are read again.
    QCoro::Task<> credentialsRemoved();

Q_SIGNALS:
    void usageSnapshotChanged();
    void sessionStatusChanged();
    void isRefreshingChanged();
    void errorsChanged();
    void launchAtLoginEnabledChanged();
    void lastReadTimesChanged();
    void forecastsChanged();
    // A reset time of the snapshot has come: views stop showing that window's percentage as
    // current. A cycle follows kRefreshAfterResetSeconds later.
    void resetReached();

private:
    void setSessionStatus(SessionStatus status);
    void setProviderError(const AgentProvider& provider, std::optional<QString> text);
    AdaptiveRefreshPolicy& policy(const AgentProvider& provider);
    bool snapshotIsEmpty() const;
    bool holdsUsage(const AgentProvider& provider) const;
    // An update of live session `session`: applied always, but it marks Codex live only while
    // that session is still the open one.
    void handleLiveUpdate(const AgentUsage& usage, std::uint64_t session);
    void endLiveConnection();

    static QCoro::Task<> periodicLoop(QPointer<UsageStore> store, CancellationToken token);
    static QCoro::Task<> resetWatch(QPointer<UsageStore> store, CancellationToken token);
    static QCoro::Task<> liveUpdateLoop(QPointer<UsageStore> store, CancellationToken token);
    void refreshForecasts();
    // Asks the history for the snapshot's forecasts, and publishes them when they changed.
    static QCoro::Task<> updateForecasts(QPointer<UsageStore> store, CancellationToken token);

    Services m_services;
    // Cancelled when the store goes away: ends every source call it awaits.
    CancellationToken m_lifetime;
    LastReadTracker m_lastReads;

    std::optional<AgentUsageSnapshot> m_usageSnapshot;
    SessionStatus m_sessionStatus = SessionStatus::Checking;
    bool m_isRefreshing = false;
    bool m_isUserRefresh = false;
    bool m_hasCompletedRefresh = false;
    std::optional<QString> m_inlineError;
    std::map<std::string, QString> m_providerErrors;
    bool m_launchAtLoginEnabled = false;

    std::optional<Timestamp> m_lastRefreshStartedAt;
    bool m_isCodexLiveConnected = false;
    // Numbers the live sessions as they open and close: an update whose number is no longer
    // this one comes from a session that has ended.
    std::uint64_t m_openLiveSession = 0;
    bool m_didStart = false;
    std::map<std::string, AdaptiveRefreshPolicy> m_providerRefreshPolicies;
    PaceForecasts m_forecasts;

    Job<UsageStore> m_periodicRefreshJob{this};
    Job<UsageStore> m_resetWatchJob{this};
    Job<UsageStore> m_codexLiveUpdateJob{this};
    Job<UsageStore> m_forecastJob{this};
};
