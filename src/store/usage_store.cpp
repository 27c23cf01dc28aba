#include "usage_store.h"

#include <QMetaObject>
#include <algorithm>
#include <limits>

#include "core/error.h"
#include "core/time_limit.h"
#include "core/worker.h"
#include "model/agent_provider.h"
#include "model/shared_snapshot_store.h"
#include "phone/legacy_apns_key_cleanup.h"
#include "sources/codex/codex_client_error.h"
#include "store/logging.h"
#include "store/phone_delivery.h"

namespace {

// Awaits one read; its failure is kept in `error`, for the caller to report or to choose among,
// and gives nothing.
template <typename T>
QCoro::Task<std::optional<T>> readKeepingError(QCoro::Task<T> reading, std::exception_ptr& error) {
    try {
        T value = co_await reading;
        co_return value;
    } catch (...) {
        error = std::current_exception();
    }
    co_return std::nullopt;
}

bool isWakeUnavailable(std::exception_ptr failure) {
    if (!failure) {
        return false;
    }
    try {
        std::rethrow_exception(failure);
    } catch (const WakeUnavailableError&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

UsageStore::UsageStore(Services services, QObject* parent)
    : QObject(parent),
      m_services(std::move(services)),
      m_lastReads(m_services.sharedPreferences),
      m_deliveryTimeSaver(m_services.clock, m_services.standardPreferences,
                          LanPairingStorage::kLastPhoneDataSentAtKey) {
    m_usageSnapshot = SharedSnapshotStore::loadSnapshot(m_services.sharedPreferences);
    m_sessionStatus = SessionStatus::Checking;
    m_launchAtLoginEnabled = m_services.autostart.isEnabled();
    loadPhoneLink();
    m_services.widgets.reloadAllKinds();
}

UsageStore::~UsageStore() {
    // Joins the server's thread, so no callback can race with the store going away.
    m_pairingServer.reset();
    m_lifetime.cancel();
}

std::optional<QString> UsageStore::error(const AgentProvider& provider) const {
    const auto found = m_providerErrors.find(provider.rawValue);
    if (found == m_providerErrors.end()) {
        return std::nullopt;
    }
    return found->second;
}

QString UsageStore::describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const CancelledError&) {
        return {};
    } catch (const Error& known) {
        return known.errorString();
    } catch (const std::exception& other) {
        return QString::fromUtf8(other.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

QCoro::Task<> UsageStore::start() {
    if (m_didStart) {
        co_return;
    }
    m_didStart = true;
    const QPointer<UsageStore> self(this);
    configurePairingServer();
    pairingServer().start();
    if (m_usageSnapshot) {
        // A phone that connects at once gets the stored data.
        publishToPhone(*m_usageSnapshot);
    }
    watchResets();
    QCoro::Task<> first = refresh(false, true);
    co_await first;
    if (!self) {
        co_return;
    }
    startCodexLiveUpdates();
    schedulePeriodicRefresh();
}

QCoro::Task<> UsageStore::refresh() {
    QCoro::Task<> cycle = refresh(true, true);
    co_await cycle;
}

QCoro::Task<> UsageStore::refresh(bool reportFailure, bool includeCodex) {
    if (m_isRefreshing) {
        co_return;
    }
    const QPointer<UsageStore> self(this);
    m_isRefreshing = true;
    m_isUserRefresh = reportFailure;
    Q_EMIT isRefreshingChanged();
    m_lastRefreshStartedAt = m_services.clock.now();

    if (includeCodex) {
        std::exception_ptr failure;
        QCoro::Task<std::optional<CodexRead>> reading =
            readKeepingError(fetchAgentUsage(), failure);
        const std::optional<CodexRead> read = co_await reading;
        if (!self) {
            co_return;
        }
        if (read) {
            apply(read->first, read->second);
        } else {
            handleRefreshFailure(describe(failure), AgentProvider::codex(), reportFailure);
        }
    }

    // Claude is read after Codex whatever Codex did, never at the same time.
    std::exception_ptr claudeFailure;
    QCoro::Task<std::optional<AgentUsage>> reading =
        readKeepingError(m_services.claude.fetchUsage(m_lifetime), claudeFailure);
    const std::optional<AgentUsage> claude = co_await reading;
    if (!self) {
        co_return;
    }
    if (claude) {
        apply(*claude, SessionStatus::LocalSecondary);
    } else {
        handleRefreshFailure(describe(claudeFailure), AgentProvider::claude(), reportFailure);
    }

    if (snapshotIsEmpty()) {
        setSessionStatus(SessionStatus::SignedOut);
        publishToPhone(AgentUsageSnapshot());
    }
    m_isRefreshing = false;
    m_hasCompletedRefresh = true;
    Q_EMIT isRefreshingChanged();
    schedulePeriodicRefresh();
}

void UsageStore::apply(const AgentUsage& usage, SessionStatus status) {
    policy(usage.provider).recordObservation(usage.activitySamples(), m_services.clock.now());
    const std::optional<AgentUsage> existing =
        m_usageSnapshot ? (*m_usageSnapshot)[usage.provider] : std::nullopt;
    const bool unchanged = existing && existing->isSameReading(usage);
    // Replacing a Claude usage never adds or removes Codex, so the old snapshot decides.
    const bool setsStatus =
        usage.provider == AgentProvider::codex() || !holdsUsage(AgentProvider::codex());
    setProviderError(usage.provider, std::nullopt);
    const bool savedReadTimes =
        m_lastReads.record(usage.provider, m_services.clock.now(), !unchanged);
    Q_EMIT lastReadTimesChanged();
    if (unchanged) {
        // The stored copy keeps the time of the last change; nothing is republished.
        if (setsStatus) {
            setSessionStatus(status);
        }
        updateInlineError();
        if (savedReadTimes) {
            // The widgets count their staleness from the times just written.
            m_services.widgets.reloadAllKinds();
        }
        return;
    }
    const AgentUsageSnapshot snapshot =
        (m_usageSnapshot ? *m_usageSnapshot : AgentUsageSnapshot()).replacing(usage);
    apply(snapshot, setsStatus ? status : m_sessionStatus);
}

void UsageStore::apply(const AgentUsageSnapshot& snapshot, SessionStatus status) {
    m_usageSnapshot = snapshot;
    Q_EMIT usageSnapshotChanged();
    setSessionStatus(status);
    updateInlineError();
    SharedSnapshotStore::save(snapshot, m_services.sharedPreferences);
    m_services.widgets.reloadAllKinds();
    m_services.notifications.synchronize(snapshot);
    publishToPhone(snapshot);
    maybeSendWakePush(snapshot);
    if (m_didStart) {
        watchResets();
    }
}

void UsageStore::handleRefreshFailure(const QString& errorText, const AgentProvider& provider,
                                      bool reportFailure) {
    policy(provider).recordFailure();
    // A background failure while older data is shown stays silent; the old data stays.
    if (reportFailure || !holdsUsage(provider)) {
        setProviderError(provider, errorText);
    }
    if (snapshotIsEmpty()) {
        setSessionStatus(SessionStatus::SignedOut);
    }
    updateInlineError();
}

void UsageStore::updateInlineError() {
    std::optional<QString> line;
    for (const AgentProvider& provider : AgentProvider::desktopProviders()) {
        if (const std::optional<QString> text = error(provider)) {
            line = text;
            break;
        }
    }
    if (line != m_inlineError) {
        m_inlineError = std::move(line);
        Q_EMIT errorsChanged();
    }
}

void UsageStore::watchResets() {
    m_resetWatchJob.start(&UsageStore::resetWatch);
}

QCoro::Task<> UsageStore::resetWatch(QPointer<UsageStore> store, CancellationToken token) {
    for (;;) {
        if (!store || token.isCancelled() || !store->m_usageSnapshot) {
            co_return;
        }
        Clock& clock = store->m_services.clock;
        const std::optional<Timestamp> reset = store->m_usageSnapshot->nextReset(clock.now());
        if (!reset) {
            co_return;
        }
        QCoro::Task<> untilReset = clock.sleep(*reset - clock.now(), token);
        co_await untilReset;
        if (!store) {
            co_return;
        }
        Q_EMIT store->resetReached();
        QCoro::Task<> settling = clock.sleep(kRefreshAfterResetSeconds, token);
        co_await settling;
        if (!store) {
            co_return;
        }
        // A changed snapshot restarts this watch, which cancels this very task.
        QCoro::Task<> cycle = store->refresh(false, !store->m_isCodexLiveConnected);
        co_await cycle;
    }
}

void UsageStore::schedulePeriodicRefresh() {
    m_periodicRefreshJob.start(&UsageStore::periodicLoop);
}

QCoro::Task<> UsageStore::periodicLoop(QPointer<UsageStore> store, CancellationToken token) {
    for (;;) {
        if (!store || token.isCancelled()) {
            co_return;
        }
        const double interval = store->automaticRefreshInterval(store->m_services.clock.now());
        QCoro::Task<> wait = store->m_services.clock.sleep(interval, token);
        co_await wait;
        if (!store || token.isCancelled()) {
            co_return;
        }
        // The cycle ends by restarting this loop, which cancels this very task.
        QCoro::Task<> cycle = store->refresh(false, !store->m_isCodexLiveConnected);
        co_await cycle;
    }
}

double UsageStore::automaticRefreshInterval(Timestamp now) const {
    double interval = std::numeric_limits<double>::infinity();
    for (const AgentProvider& provider : AgentProvider::desktopProviders()) {
        if (provider == AgentProvider::codex() && m_isCodexLiveConnected) {
            continue;
        }
        const auto found = m_providerRefreshPolicies.find(provider.rawValue);
        const double agentInterval = found == m_providerRefreshPolicies.end()
                                         ? kIntervalWithoutPolicySeconds
                                         : found->second.nextRefreshInterval(now);
        interval = std::min(interval, agentInterval);
    }
    return interval;
}

QCoro::Task<> UsageStore::setLaunchAtLogin(bool enabled) {
    const QPointer<UsageStore> self(this);
    Autostart& item = m_services.autostart;
    // The autostart entry is a file: written and read back on a worker.
    std::exception_ptr failure;
    bool readBack = false;
    try {
        auto changing = runOnWorker([&item, enabled] {
            item.setEnabled(enabled);
            return item.isEnabled();
        });
        readBack = co_await changing;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        auto reading = runOnWorker([&item] { return item.isEnabled(); });
        readBack = co_await reading;
        if (!self) {
            co_return;
        }
    }
    if (readBack != m_launchAtLoginEnabled) {
        m_launchAtLoginEnabled = readBack;
        Q_EMIT launchAtLoginEnabledChanged();
    }
    if (failure) {
        m_inlineError = describe(failure);
        Q_EMIT errorsChanged();
    }
}

QCoro::Task<UsageStore::CodexRead> UsageStore::fetchAgentUsage() {
    // A copy of the services (which outlive the store), so nothing below touches the store.
    Services services = m_services;
    const CancellationToken lifetime = m_lifetime;

    std::exception_ptr appServerError;
    QCoro::Task<std::optional<AgentUsage>> appServer =
        readKeepingError(services.appServer.fetchUsage(lifetime), appServerError);
    std::optional<AgentUsage> local = co_await appServer;
    // Only the store's going away cancels a source.
    lifetime.throwIfCancelled();
    if (local) {
        co_return CodexRead{std::move(*local), SessionStatus::LocalPrimary};
    }
    std::exception_ptr authFileError;
    QCoro::Task<std::optional<AgentUsage>> authFile =
        readKeepingError(services.codexAuthFile.fetchUsage(lifetime), authFileError);
    local = co_await authFile;
    lifetime.throwIfCancelled();
    if (local) {
        co_return CodexRead{std::move(*local), SessionStatus::LocalPrimary};
    }

    std::optional<CodexCredentials> stored;
    try {
        QCoro::Task<std::optional<CodexCredentials>> loading = services.account.loadCredentials();
        stored = co_await loading;
    } catch (...) {
        // A keyring that cannot be read counts as no account.
    }
    lifetime.throwIfCancelled();
    if (!stored) {
        // Who has Codex installed learns why the app-server failed; who has not, the auth file.
        QCoro::Task<bool> checking = services.appServer.isCodexInstalled();
        const bool installed = co_await checking;
        lifetime.throwIfCancelled();
        std::rethrow_exception(installed ? appServerError : authFileError);
    }

    QCoro::Task<std::optional<CodexCredentials>> reloading = services.account.loadCredentials();
    std::optional<CodexCredentials> credentials = co_await reloading;
    lifetime.throwIfCancelled();
    if (!credentials) {
        throw CodexClientError(CodexClientError::Code::NotSignedIn);
    }
    QCoro::Task<AgentUsage> reading =
        services.account.fetchUsage(std::move(*credentials), true, lifetime);
    AgentUsage usage = co_await reading;
    co_return CodexRead{std::move(usage), SessionStatus::AccountSession};
}

void UsageStore::startCodexLiveUpdates() {
    m_codexLiveUpdateJob.start(&UsageStore::liveUpdateLoop);
}

QCoro::Task<> UsageStore::liveUpdateLoop(QPointer<UsageStore> store, CancellationToken token) {
    double retryDelay = kFirstLiveRetrySeconds;
    for (;;) {
        if (!store || token.isCancelled()) {
            co_return;
        }
        if (store->m_isCodexLiveConnected) {
            // The previous session ended: Codex goes back to the periodic loop.
            store->endLiveConnection();
        }
        CodexAppServerSource& appServer = store->m_services.appServer;
        Clock& clock = store->m_services.clock;
        // Updates arrive as queued main-thread jobs that do nothing once the store is gone.
        const std::uint64_t session = ++store->m_openLiveSession;
        auto onUpdate = [store, session](const AgentUsage& usage) {
            queueOnStore(store, [usage, session](UsageStore& live) {
                live.handleLiveUpdate(usage, session);
            });
        };
        double delay = retryDelay;
        bool cancelled = false;
        try {
            QCoro::Task<> monitoring = appServer.monitorUsage(onUpdate, token);
            co_await monitoring;
        } catch (const CancelledError&) {
            cancelled = true;
        } catch (...) {
            qCDebug(lcStore) << "live Codex session ended:" << describe(std::current_exception());
            // A cancelled call may also end as connectionClosed or timedOut; the sleep below
            // notices the cancellation.
            if (store && store->m_isCodexLiveConnected) {
                store->endLiveConnection();
                delay = kFirstLiveRetrySeconds;
            }
        }
        if (!store) {
            co_return;
        }
        // Updates of this session still queued are data now, not a sign of a live session.
        ++store->m_openLiveSession;
        if (cancelled) {
            co_return;
        }
        QCoro::Task<> wait = clock.sleep(delay, token);
        co_await wait;
        retryDelay = std::min(delay * 2, kLongestLiveRetrySeconds);
    }
}

void UsageStore::handleLiveUpdate(const AgentUsage& usage, std::uint64_t session) {
    if (!m_isCodexLiveConnected && session == m_openLiveSession) {
        m_isCodexLiveConnected = true;
        // The interval is recomputed without Codex, which now arrives by itself.
        schedulePeriodicRefresh();
    }
    apply(usage, SessionStatus::LocalPrimary);
}

void UsageStore::endLiveConnection() {
    m_isCodexLiveConnected = false;
    schedulePeriodicRefresh();
}

void UsageStore::queueOnStore(const QPointer<UsageStore>& store,
                              std::function<void(UsageStore&)> job) {
    if (!store) {
        return;
    }
    QMetaObject::invokeMethod(
        store.data(),
        [store, job = std::move(job)] {
            if (store) {
                job(*store);
            }
        },
        Qt::QueuedConnection);
}

void UsageStore::beginSignIn() {
    m_signInJob.cancel();
    setProviderError(AgentProvider::codex(), std::nullopt);
    updateInlineError();
    m_signInJob.start(&UsageStore::signInFlow);
}

QCoro::Task<> UsageStore::signInFlow(QPointer<UsageStore> store, CancellationToken token) {
    if (!store) {
        co_return;
    }
    CodexAccount& account = store->m_services.account;
    try {
        QCoro::Task<CodexDeviceCode> requesting = account.requestDeviceCode(token);
        const CodexDeviceCode code = co_await requesting;
        token.throwIfCancelled();
        if (!store) {
            co_return;
        }
        store->setDeviceCode(code);
        QCoro::Task<CodexAccount::AuthorizationResponse> polling =
            account.pollForAuthorization(code, token);
        CodexAccount::AuthorizationResponse authorization = co_await polling;
        token.throwIfCancelled();
        QCoro::Task<CodexCredentials> exchanging =
            account.exchange(std::move(authorization), token);
        CodexCredentials credentials = co_await exchanging;
        // After Cancel nothing is signed in.
        token.throwIfCancelled();
        QCoro::Task<> saving = account.saveCredentials(credentials);
        co_await saving;
        token.throwIfCancelled();
        QCoro::Task<AgentUsage> reading = account.fetchUsage(std::move(credentials), true, token);
        const AgentUsage usage = co_await reading;
        token.throwIfCancelled();
        if (!store) {
            co_return;
        }
        store->apply(usage, SessionStatus::AccountSession);
        store->setDeviceCode(std::nullopt);
    } catch (const CancelledError&) {
        // A flow that was cancelled or replaced leaves the code and the errors to the current
        // one (cancelSignIn() has cleared the code already).
        if (store && !token.isCancelled()) {
            store->setDeviceCode(std::nullopt);
        }
    } catch (...) {
        if (store && !token.isCancelled()) {
            store->setDeviceCode(std::nullopt);
            store->setProviderError(AgentProvider::codex(), describe(std::current_exception()));
            store->updateInlineError();
        }
    }
}

void UsageStore::cancelSignIn() {
    m_signInJob.cancel();
    setDeviceCode(std::nullopt);
}

QCoro::Task<> UsageStore::signOut() {
    cancelSignIn();
    const QPointer<UsageStore> self(this);
    std::exception_ptr failure;
    try {
        QCoro::Task<> deleting = m_services.account.deleteCredentials();
        co_await deleting;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        m_inlineError = describe(failure);
        Q_EMIT errorsChanged();
        co_return;
    }
    setSessionStatus(SessionStatus::Checking);
    QCoro::Task<> cycle = refresh(true, true);
    co_await cycle;
}

void UsageStore::setSessionStatus(SessionStatus status) {
    if (status != m_sessionStatus) {
        m_sessionStatus = status;
        Q_EMIT sessionStatusChanged();
    }
}

void UsageStore::setDeviceCode(std::optional<CodexDeviceCode> code) {
    if (code != m_deviceCode) {
        m_deviceCode = std::move(code);
        Q_EMIT deviceCodeChanged();
    }
}

void UsageStore::setProviderError(const AgentProvider& provider, std::optional<QString> text) {
    const std::optional<QString> current = error(provider);
    if (current == text) {
        return;
    }
    if (text) {
        // The texts name what failed and never hold a token.
        qCInfo(lcStore).noquote() << QString::fromStdString(provider.rawValue)
                                  << "could not be read:" << *text;
        m_providerErrors[provider.rawValue] = *text;
    } else {
        m_providerErrors.erase(provider.rawValue);
    }
    Q_EMIT errorsChanged();
}

AdaptiveRefreshPolicy& UsageStore::policy(const AgentProvider& provider) {
    return m_providerRefreshPolicies[provider.rawValue];
}

bool UsageStore::snapshotIsEmpty() const {
    return !m_usageSnapshot || m_usageSnapshot->usages.empty();
}

bool UsageStore::holdsUsage(const AgentProvider& provider) const {
    return m_usageSnapshot && (*m_usageSnapshot)[provider].has_value();
}

void UsageStore::loadPhoneLink() {
    QCoro::Task<> cleaning =
        LegacyApnsKeyCleanup::run(m_services.secrets, m_services.standardPreferences);
    LanPairingStorage storage = pairingStorage();
    if (auto stored = storage.load<LanPairingPayload>(LanPairingStorage::kServerIdentityKey)) {
        m_pairingPayload = std::move(*stored);
    } else {
        m_pairingPayload = LanPairingPayload::makeServerIdentity();
        storage.save(m_pairingPayload, LanPairingStorage::kServerIdentityKey);
    }
    m_pairedPhone = storage.load<PairedPhoneInfo>(LanPairingStorage::kPairedPhoneKey);
    m_lastPhoneDataSentAt =
        m_services.standardPreferences.date(LanPairingStorage::kLastPhoneDataSentAtKey);
}

LanPairingStorage UsageStore::pairingStorage() const {
    return LanPairingStorage(m_services.standardPreferences);
}

PairingServer& UsageStore::pairingServer() {
    if (!m_pairingServer) {
        m_pairingServer = m_services.pairingServers.make(m_pairingPayload);
    }
    return *m_pairingServer;
}

void UsageStore::configurePairingServer() {
    const QPointer<UsageStore> store(this);
    const std::uint64_t generation = ++m_pairingServerGeneration;
    // Called on the server's thread: each event becomes a job on the store's thread, dropped
    // when it comes from a server that has been replaced since.
    const auto onStore = [store, generation](std::function<void(UsageStore&)> job) {
        queueOnStore(store, [generation, job = std::move(job)](UsageStore& current) {
            if (current.m_pairingServerGeneration == generation) {
                job(current);
            }
        });
    };
    PairingServer::Callbacks callbacks;
    callbacks.onStateChange = [onStore](LanConnectionState state) {
        onStore([state](UsageStore& current) {
            current.publishField(current.m_lanConnectionState, state,
                                 &UsageStore::lanConnectionStateChanged);
        });
    };
    callbacks.onPhonePaired = [onStore](PairedPhoneInfo info) {
        onStore([info](UsageStore& current) { current.registerPairedPhone(info); });
    };
    callbacks.onSnapshotSent = [onStore](Timestamp at) {
        onStore([at](UsageStore& current) { current.recordPhoneDataSent(at); });
    };
    callbacks.onRefreshRequested = [onStore] {
        onStore([](UsageStore& current) { current.handleRemoteRefreshRequest(); });
    };
    pairingServer().setCallbacks(std::move(callbacks));
}

void UsageStore::publishToPhone(const AgentUsageSnapshot& snapshot) {
    pairingServer().publish(snapshot);
}

void UsageStore::registerPairedPhone(const PairedPhoneInfo& info) {
    // The same phone pairing again keeps the time it first paired.
    if (m_pairedPhone && m_pairedPhone->model == info.model) {
        return;
    }
    publishField(m_pairedPhone, std::optional(info), &UsageStore::pairedPhoneChanged);
    pairingStorage().save(info, LanPairingStorage::kPairedPhoneKey);
}

void UsageStore::recordPhoneDataSent(Timestamp at) {
    publishField(m_lastPhoneDataSentAt, std::optional(at), &UsageStore::lastPhoneDataSentAtChanged);
    m_deliveryTimeSaver.save(at);
}

void UsageStore::handleRemoteRefreshRequest() {
    // The server has already answered with its latest snapshot; a changed result reaches the
    // phone through the normal publish.
    if (m_lastRefreshStartedAt && m_services.clock.now() - *m_lastRefreshStartedAt <
                                      PhoneDelivery::kRemoteRefreshSpacingSeconds) {
        return;
    }
    QCoro::Task<> cycle = refresh(false, !m_isCodexLiveConnected);
}

bool UsageStore::isPhoneConnected() const {
    return m_lanConnectionState.kind == LanConnectionState::Kind::Connected;
}

void UsageStore::maybeSendWakePush(const AgentUsageSnapshot& snapshot) {
    if (isPhoneConnected() || m_wakeUnavailable) {
        // The phone already has the data, or cannot be woken from here.
        m_pendingWakeSignature.reset();
        m_wakeCoalescingJob.cancel();
        return;
    }
    QString signature = PhoneDelivery::snapshotSignature(snapshot);
    if (signature == m_lastPushedSnapshotSignature || signature == m_pendingWakeSignature) {
        return;
    }
    m_pendingWakeSignature = std::move(signature);
    scheduleWakeFlush(PhoneDelivery::kCoalescingSeconds);
}

void UsageStore::scheduleWakeFlush(double seconds) {
    m_wakeCoalescingJob.start(&UsageStore::wakeFlushTimer, seconds);
}

QCoro::Task<> UsageStore::wakeFlushTimer(QPointer<UsageStore> store, CancellationToken token,
                                         double seconds) {
    if (!store) {
        co_return;
    }
    QCoro::Task<> waiting = runAfter(store->m_services.clock, seconds, std::move(token), [store] {
        if (store) {
            store->flushPendingWake();
        }
    });
    co_await waiting;
}

void UsageStore::flushPendingWake() {
    if (isPhoneConnected()) {
        m_pendingWakeSignature.reset();
        return;
    }
    // A send in flight keeps the signature and flushes again when it ends.
    if (m_isSendingWake || !m_pendingWakeSignature) {
        return;
    }
    sendWakePush(false, std::exchange(m_pendingWakeSignature, std::nullopt));
}

void UsageStore::sendWakePush(bool force, std::optional<QString> signature) {
    if (!m_pairedPhone) {
        if (force) {
            publishField(m_lastPushError, std::optional(tr("Pair an iPhone first.")),
                         &UsageStore::lastPushErrorChanged);
        }
        return;
    }
    if (m_wakeUnavailable) {
        return;
    }
    if (m_isSendingWake) {
        if (signature) {
            m_pendingWakeSignature = std::move(signature);
        }
        return;
    }
    m_isSendingWake = true;
    m_wakeSendJob.start(&UsageStore::wakeSend, m_pairingPayload, std::move(signature));
}

QCoro::Task<> UsageStore::wakeSend(QPointer<UsageStore> store, CancellationToken,
                                   LanPairingPayload pairing, std::optional<QString> signature) {
    if (!store) {
        co_return;
    }
    WakeSender& sender = store->m_services.wake;
    std::exception_ptr failure;
    try {
        QCoro::Task<> sending = sender.sendWake(std::move(pairing));
        co_await sending;
    } catch (...) {
        failure = std::current_exception();
    }
    if (store) {
        store->finishWakeSend(signature, failure);
    }
}

void UsageStore::finishWakeSend(const std::optional<QString>& signature,
                                std::exception_ptr failure) {
    m_isSendingWake = false;
    if (isWakeUnavailable(failure)) {
        // Said once: no error to show, nothing to retry, no wake ever again.
        m_wakeUnavailable = true;
        m_pendingWakeSignature.reset();
        m_wakeCoalescingJob.cancel();
        return;
    }
    if (!failure) {
        publishField(m_lastPushSentAt, std::optional(m_services.clock.now()),
                     &UsageStore::lastPushSentAtChanged);
        publishField(m_lastPushError, std::optional<QString>(), &UsageStore::lastPushErrorChanged);
        m_consecutiveWakeFailures = 0;
        if (signature) {
            m_lastPushedSnapshotSignature = signature;
        }
        if (m_pendingWakeSignature) {
            scheduleWakeFlush(PhoneDelivery::kCoalescingSeconds);
        }
        return;
    }
    publishField(m_lastPushError, std::optional(describe(failure)),
                 &UsageStore::lastPushErrorChanged);
    if (signature && signature != m_lastPushedSnapshotSignature && !isPhoneConnected()) {
        // The failed signature is retried, in place of any newer one: the wake carries no data.
        m_pendingWakeSignature = signature;
        scheduleWakeFlush(PhoneDelivery::wakeRetryDelay(m_consecutiveWakeFailures++));
    } else if (m_pendingWakeSignature) {
        // A change that arrived during a send that is not retried (the test button's) would
        // otherwise wait for the next change.
        scheduleWakeFlush(PhoneDelivery::kCoalescingSeconds);
    }
}

void UsageStore::disconnectPhone() {
    if (m_pairingServer) {
        m_pairingServer->stop();
    }
    LanPairingPayload identity = LanPairingPayload::makeServerIdentity();
    LanPairingStorage storage = pairingStorage();
    storage.save(identity, LanPairingStorage::kServerIdentityKey);
    storage.remove(LanPairingStorage::kPairedPhoneKey);
    publishField(m_pairingPayload, std::move(identity), &UsageStore::pairingPayloadChanged);
    publishField(m_pairedPhone, std::optional<PairedPhoneInfo>(), &UsageStore::pairedPhoneChanged);
    publishField(m_lanConnectionState, LanConnectionState(),
                 &UsageStore::lanConnectionStateChanged);
    publishField(m_lastPhoneDataSentAt, std::optional<Timestamp>(),
                 &UsageStore::lastPhoneDataSentAtChanged);
    m_deliveryTimeSaver.remove();

    m_lastPushedSnapshotSignature.reset();
    m_pendingWakeSignature.reset();
    m_wakeCoalescingJob.cancel();
    publishField(m_lastPushSentAt, std::optional<Timestamp>(), &UsageStore::lastPushSentAtChanged);
    publishField(m_lastPushError, std::optional<QString>(), &UsageStore::lastPushErrorChanged);

    // The old phone's secret no longer matches: it must scan the new code.
    m_pairingServer = m_services.pairingServers.make(m_pairingPayload);
    configurePairingServer();
    m_pairingServer->start();
    if (m_usageSnapshot) {
        publishToPhone(*m_usageSnapshot);
    }
}
