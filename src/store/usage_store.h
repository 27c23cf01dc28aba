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
#include "model/adaptive_refresh_policy.h"
#include "model/agent_usage_snapshot.h"
#include "phone/lan_connection_state.h"
#include "phone/lan_pairing_payload.h"
#include "phone/lan_pairing_storage.h"
#include "platform/autostart.h"
#include "platform/secret_store.h"
#include "platform/widget_center.h"
#include "store/delivery_time_saver.h"
#include "store/last_read_tracker.h"
#include "store/session_status.h"
#include "store/store_services.h"

// The heart of the tray program: owns the current snapshot, decides when each agent is read
// again, asks the sources in their order of precedence, merges what they return and hands every
// changed snapshot to the shared container, the widgets, the notifications and the phone.
//
// Lives on the main thread, like every task it runs. Its loops (periodic refresh, Codex live
// updates, sign-in, the wake timer and send) are Jobs that hold the store weakly; destroying the
// store cancels them and every source call it is waiting on. The services are not owned and must
// outlive the store; the pairing server their factory makes is owned, and destroyed before anything
// else.
class UsageStore final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)
    Q_PROPERTY(
        bool launchAtLoginEnabled READ launchAtLoginEnabled NOTIFY launchAtLoginEnabledChanged)
    Q_PROPERTY(QString inlineError READ inlineErrorText NOTIFY errorsChanged)
    Q_PROPERTY(LanConnectionState lanConnectionState READ lanConnectionState NOTIFY
                   lanConnectionStateChanged)
    Q_PROPERTY(LanPairingPayload pairingPayload READ pairingPayload NOTIFY pairingPayloadChanged)
    Q_PROPERTY(
        std::optional<PairedPhoneInfo> pairedPhone READ pairedPhone NOTIFY pairedPhoneChanged)
    Q_PROPERTY(std::optional<Timestamp> lastPhoneDataSentAt READ lastPhoneDataSentAt NOTIFY
                   lastPhoneDataSentAtChanged)
    Q_PROPERTY(
        std::optional<Timestamp> lastPushSentAt READ lastPushSentAt NOTIFY lastPushSentAtChanged)
    Q_PROPERTY(QString lastPushError READ lastPushErrorText NOTIFY lastPushErrorChanged)

public:
    struct Services {
        Clock& clock;
        CodexAppServerSource& appServer;
        AgentUsageSource& codexAuthFile;
        CodexAccount& account;
        AgentUsageSource& claude;
        SnapshotNotifications& notifications;
        PairingServerFactory& pairingServers;
        WakeSender& wake;
        WidgetCenter& widgets;
        Autostart& autostart;
        // The legacy wake key is removed from here.
        SecretStore& secrets;
        // The app group's domain that holds the shared snapshot.
        Preferences sharedPreferences;
        // The program's own domain: the pairing code, the paired phone, the last delivery.
        Preferences standardPreferences;
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
    const std::optional<QString>& inlineError() const { return m_inlineError; }
    QString inlineErrorText() const { return m_inlineError.value_or(QString()); }
    const std::map<std::string, QString>& providerErrors() const { return m_providerErrors; }
    std::optional<QString> error(const AgentProvider& provider) const;
    const std::optional<CodexDeviceCode>& deviceCode() const { return m_deviceCode; }
    bool launchAtLoginEnabled() const { return m_launchAtLoginEnabled; }
    bool isCodexLiveConnected() const { return m_isCodexLiveConnected; }
    // The phone link, as the pairing server reports it and as the store delivers to it.
    const LanConnectionState& lanConnectionState() const { return m_lanConnectionState; }
    const LanPairingPayload& pairingPayload() const { return m_pairingPayload; }
    const std::optional<PairedPhoneInfo>& pairedPhone() const { return m_pairedPhone; }
    const std::optional<Timestamp>& lastPhoneDataSentAt() const { return m_lastPhoneDataSentAt; }
    const std::optional<Timestamp>& lastPushSentAt() const { return m_lastPushSentAt; }
    const std::optional<QString>& lastPushError() const { return m_lastPushError; }
    QString lastPushErrorText() const { return m_lastPushError.value_or(QString()); }

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
    void beginSignIn();
    void cancelSignIn();
    QCoro::Task<> signOut();

    // Phone delivery. A changed snapshot goes to the pairing server; while the phone is not
    // connected it also leads to one coalesced wake signal, one second after the last change,
    // retried with back-off (PhoneDelivery) until it succeeds or the phone connects. Once the
    // sender answers WakeUnavailableError, no wake is sent again and no error is kept.
    void maybeSendWakePush(const AgentUsageSnapshot& snapshot);
    // Sends one wake for the paired phone. `force` is the user's test button: without a phone it
    // says so, and its failure is not retried. `signature` is the snapshot's, for an automatic
    // wake. Only one wake is in flight at a time.
    void sendWakePush(bool force, std::optional<QString> signature);
    // Forgets the phone: a new pairing code, a new server started with the current snapshot.
    void disconnectPhone();

    // The user-visible text of a failure; empty for a cancellation.
    static QString describe(std::exception_ptr error);

Q_SIGNALS:
    void usageSnapshotChanged();
    void sessionStatusChanged();
    void isRefreshingChanged();
    void errorsChanged();
    void deviceCodeChanged();
    void launchAtLoginEnabledChanged();
    void lanConnectionStateChanged();
    void pairingPayloadChanged();
    void pairedPhoneChanged();
    void lastPhoneDataSentAtChanged();
    void lastPushSentAtChanged();
    void lastPushErrorChanged();
    void lastReadTimesChanged();
    // A reset time of the snapshot has come: views stop showing that window's percentage as
    // current. A cycle follows kRefreshAfterResetSeconds later.
    void resetReached();

private:
    void setSessionStatus(SessionStatus status);
    void setDeviceCode(std::optional<CodexDeviceCode> code);
    void setProviderError(const AgentProvider& provider, std::optional<QString> text);
    AdaptiveRefreshPolicy& policy(const AgentProvider& provider);
    bool snapshotIsEmpty() const;
    bool holdsUsage(const AgentProvider& provider) const;
    // An update of live session `session`: applied always, but it marks Codex live only while
    // that session is still the open one.
    void handleLiveUpdate(const AgentUsage& usage, std::uint64_t session);
    void endLiveConnection();
    // Queues `job` on the store's thread; it is dropped if the store is gone by then.
    static void queueOnStore(const QPointer<UsageStore>& store,
                             std::function<void(UsageStore&)> job);

    // Sets a published field and notifies its observers when the value changes.
    template <typename T>
    void publishField(T& field, T value, void (UsageStore::*changed)()) {
        if (field != value) {
            field = std::move(value);
            Q_EMIT(this->*changed)();
        }
    }

    void loadPhoneLink();
    LanPairingStorage pairingStorage() const;
    PairingServer& pairingServer();
    void configurePairingServer();
    void publishToPhone(const AgentUsageSnapshot& snapshot);
    void registerPairedPhone(const PairedPhoneInfo& info);
    void recordPhoneDataSent(Timestamp at);
    void handleRemoteRefreshRequest();
    bool isPhoneConnected() const;
    void scheduleWakeFlush(double seconds);
    void flushPendingWake();
    void finishWakeSend(const std::optional<QString>& signature, std::exception_ptr failure);

    static QCoro::Task<> periodicLoop(QPointer<UsageStore> store, CancellationToken token);
    static QCoro::Task<> resetWatch(QPointer<UsageStore> store, CancellationToken token);
    static QCoro::Task<> liveUpdateLoop(QPointer<UsageStore> store, CancellationToken token);
    static QCoro::Task<> signInFlow(QPointer<UsageStore> store, CancellationToken token);
    static QCoro::Task<> wakeFlushTimer(QPointer<UsageStore> store, CancellationToken token,
                                        double seconds);
    static QCoro::Task<> wakeSend(QPointer<UsageStore> store, CancellationToken token,
                                  LanPairingPayload pairing, std::optional<QString> signature);

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
    std::optional<CodexDeviceCode> m_deviceCode;
    bool m_launchAtLoginEnabled = false;
    LanConnectionState m_lanConnectionState;
    LanPairingPayload m_pairingPayload;
    std::optional<PairedPhoneInfo> m_pairedPhone;
    std::optional<Timestamp> m_lastPhoneDataSentAt;
    std::optional<Timestamp> m_lastPushSentAt;
    std::optional<QString> m_lastPushError;

    std::optional<Timestamp> m_lastRefreshStartedAt;
    bool m_isCodexLiveConnected = false;
    // Numbers the live sessions as they open and close: an update whose number is no longer
    // this one comes from a session that has ended.
    std::uint64_t m_openLiveSession = 0;
    bool m_didStart = false;
    std::map<std::string, AdaptiveRefreshPolicy> m_providerRefreshPolicies;

    // Made on first use; replaced when the phone is forgotten. Callbacks of a server that was
    // replaced meanwhile carry an older generation and are dropped.
    std::unique_ptr<PairingServer> m_pairingServer;
    std::uint64_t m_pairingServerGeneration = 0;
    // lastPhoneDataSentAt in the preferences, written off the main thread at most once a minute.
    DeliveryTimeSaver m_deliveryTimeSaver;
    // The signature whose wake last succeeded, and the one waiting to be sent.
    std::optional<QString> m_lastPushedSnapshotSignature;
    std::optional<QString> m_pendingWakeSignature;
    std::int64_t m_consecutiveWakeFailures = 0;
    bool m_isSendingWake = false;
    // The wake sender said waking cannot work here; no wake is sent again.
    bool m_wakeUnavailable = false;

    Job<UsageStore> m_periodicRefreshJob{this};
    Job<UsageStore> m_resetWatchJob{this};
    Job<UsageStore> m_codexLiveUpdateJob{this};
    Job<UsageStore> m_signInJob{this};
    Job<UsageStore> m_wakeCoalescingJob{this};
    Job<UsageStore> m_wakeSendJob{this};
};
