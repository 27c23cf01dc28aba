#include "usage_store.h"

#include <algorithm>
#include <limits>

#include "core/error.h"
#include "core/time_limit.h"
#include "core/worker.h"
#include "model/agent_provider.h"
#include "model/shared_snapshot_store.h"
#include "sources/codex/codex_client_error.h"
#include "store/failure_text.h"
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

}  // namespace

UsageStore::UsageStore(Services services, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_lastReads(m_services.sharedPreferences) {
    m_usageSnapshot = SharedSnapshotStore::loadSnapshot(m_services.sharedPreferences);
    m_forecasts = SharedSnapshotStore::loadForecasts(m_services.sharedPreferences);
    m_sessionStatus = SessionStatus::Checking;
    m_launchAtLoginEnabled = m_services.autostart.isEnabled();
    m_services.widgets.reloadAllKinds();
}

UsageStore::~UsageStore() {
    m_lifetime.cancel();
}

std::optional<QString> UsageStore::error(const AgentProvider& provider) const {
    const auto found = m_providerErrors.find(provider.rawValue);
    if (found == m_providerErrors.end()) {
        return std::nullopt;
    }
    return found->second;
}

QCoro::Task<> UsageStore::start() {
    if (m_didStart) {
        co_return;
    }
    m_didStart = true;
    const QPointer<UsageStore> self(this);
    m_services.phone.start(m_usageSnapshot);
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
            handleRefreshFailure(failureText(failure), AgentProvider::codex(), reportFailure);
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
        handleRefreshFailure(failureText(claudeFailure), AgentProvider::claude(), reportFailure);
    }

    if (snapshotIsEmpty()) {
        setSessionStatus(SessionStatus::SignedOut);
        m_services.phone.publish(AgentUsageSnapshot(), false);
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
    if (m_services.history != nullptr) {
        m_services.history->record(usage, !unchanged);
    }
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
        refreshForecasts();
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
    m_services.phone.publish(snapshot, true);
    if (m_didStart) {
        watchResets();
    }
    refreshForecasts();
}

void UsageStore::refreshForecasts() {
    // Queued on the history's thread after the reading just recorded, so the forecast sees it.
    if (m_services.history != nullptr) {
        m_forecastJob.start(&UsageStore::updateForecasts);
    }
}

QCoro::Task<> UsageStore::updateForecasts(QPointer<UsageStore> store, CancellationToken token) {
    if (!store || !store->m_usageSnapshot) {
        co_return;
    }
    QCoro::Task<PaceForecasts> asking = store->m_services.history->forecasts(
        *store->m_usageSnapshot, store->m_services.clock.now());
    PaceForecasts forecasts = co_await asking;
    if (!store || token.isCancelled() || forecasts == store->m_forecasts) {
        co_return;
    }
    store->m_forecasts = std::move(forecasts);
    SharedSnapshotStore::saveForecasts(store->m_forecasts, store->m_services.sharedPreferences);
    store->m_services.widgets.reloadAllKinds();
    Q_EMIT store->forecastsChanged();
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
        showError(failureText(failure));
    }
}

void UsageStore::showError(const QString& text) {
    m_inlineError = text;
    Q_EMIT errorsChanged();
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
            queueOn<UsageStore>(store, [usage, session](UsageStore& live) {
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
            qCDebug(lcStore) << "live Codex session ended:"
                             << failureText(std::current_exception());
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

void UsageStore::setAccountError(std::optional<QString> text) {
    setProviderError(AgentProvider::codex(), std::move(text));
    updateInlineError();
}

QCoro::Task<> UsageStore::credentialsRemoved() {
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

void UsageStore::handleRemoteRefreshRequest() {
    // The server has already answered with its latest snapshot; a changed result reaches the
    // phone through the normal publish.
    if (m_lastRefreshStartedAt && m_services.clock.now() - *m_lastRefreshStartedAt <
                                      PhoneDelivery::kRemoteRefreshSpacingSeconds) {
        return;
    }
    QCoro::Task<> cycle = refresh(false, !m_isCodexLiveConnected);
}
