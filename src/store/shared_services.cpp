#include "shared_services.h"

#include <QCoreApplication>

#include "core/system_clock.h"
#include "model/shared_snapshot_store.h"
#include "notify/limit_notification_manager.h"
#include "phone/lan_pairing_server.h"
#include "platform/secrets/fallback_secret_store.h"
#include "platform/secrets/file_secret_store.h"
#include "platform/secrets/secret_service_store.h"
#include "sources/claude/claude_usage_client.h"
#include "sources/codex/codex_app_server_client.h"
#include "sources/codex/codex_auth_file_usage_client.h"
#include "sources/codex/credentials_store.h"
#include "store/usage_store.h"

QCoro::Task<AgentUsage> SharedCodexAppServer::fetchUsage(CancellationToken token) {
    return CodexAppServerClient::shared().fetchUsage(std::move(token));
}

QCoro::Task<> SharedCodexAppServer::monitorUsage(UpdateHandler onUpdate, CancellationToken token) {
    return CodexAppServerClient::shared().monitorUsage(std::move(onUpdate), std::move(token));
}

QCoro::Task<bool> SharedCodexAppServer::isCodexInstalled() {
    return CodexAppServerClient::shared().isCodexInstalled();
}

QCoro::Task<AgentUsage> SharedCodexAuthFile::fetchUsage(CancellationToken token) {
    return CodexAuthFileUsageClient::shared().fetchUsage(std::move(token));
}

QCoro::Task<AgentUsage> SharedClaude::fetchUsage(CancellationToken token) {
    return ClaudeUsageClient::shared().fetchUsage(std::move(token));
}

QCoro::Task<std::optional<CodexCredentials>> SharedCodexAccount::loadCredentials() {
    return CredentialsStore::shared().load();
}

QCoro::Task<> SharedCodexAccount::saveCredentials(CodexCredentials credentials) {
    return CredentialsStore::shared().save(std::move(credentials));
}

QCoro::Task<> SharedCodexAccount::deleteCredentials() {
    return CredentialsStore::shared().deleteCredentials();
}

QCoro::Task<CodexDeviceCode> SharedCodexAccount::requestDeviceCode(CancellationToken token) {
    return CodexAuthClient::shared().requestDeviceCode(std::move(token));
}

QCoro::Task<CodexAccount::AuthorizationResponse> SharedCodexAccount::pollForAuthorization(
    CodexDeviceCode code, CancellationToken token) {
    return CodexAuthClient::shared().pollForAuthorization(std::move(code), std::move(token));
}

QCoro::Task<CodexCredentials> SharedCodexAccount::exchange(AuthorizationResponse authorization,
                                                           CancellationToken token) {
    return CodexAuthClient::shared().exchange(std::move(authorization), std::move(token));
}

QCoro::Task<AgentUsage> SharedCodexAccount::fetchUsage(CodexCredentials credentials,
                                                       bool retryAfterRefresh,
                                                       CancellationToken token) {
    return CodexAuthClient::shared().fetchUsage(std::move(credentials), retryAfterRefresh,
                                                std::move(token));
}

namespace {

class LanServerAdapter final : public PairingServer {
public:
    LanServerAdapter(const LanPairingPayload& pairing, LanPairingServer::Options options)
        : m_server(pairing, options) {}

    void setCallbacks(Callbacks callbacks) override { m_server.setCallbacks(std::move(callbacks)); }
    void start() override { m_server.start(); }
    void stop() override { m_server.stop(); }
    void publish(const AgentUsageSnapshot& snapshot) override { m_server.publish(snapshot); }

    LanPairingServer m_server;
};

class ManagedNotifications final : public SnapshotNotifications {
public:
    QCoro::Task<> start(std::optional<AgentUsageSnapshot> snapshot) override {
        return LimitNotificationManager::shared().start(std::move(snapshot));
    }
    void synchronize(const AgentUsageSnapshot& snapshot) override {
        LimitNotificationManager::shared().synchronize(snapshot);
    }
};

}  // namespace

std::unique_ptr<PairingServer> LanPairingServers::make(const LanPairingPayload& pairing) {
    auto server = std::make_unique<LanServerAdapter>(pairing, m_options);
    m_latest = &server->m_server;
    return server;
}

QString WakeUnavailableError::errorString() const {
    return QCoreApplication::translate(
        "UsageStore", "The phone is updated while it is on the same network as this computer.");
}

QCoro::Task<> UnavailableWakeSender::sendWake(LanPairingPayload) {
    throw WakeUnavailableError();
    co_return;
}

SnapshotNotifications& sharedNotifications() {
    static ManagedNotifications notifications;
    return notifications;
}

UsageStore& UsageStore::shared() {
    static SharedCodexAppServer appServer;
    static SharedCodexAuthFile codexAuthFile;
    static SharedCodexAccount account;
    static SharedClaude claude;
    static LanPairingServers pairingServers;
    static UnavailableWakeSender wake;
    static DBusWidgetCenter widgets;
    static XdgAutostart autostart = XdgAutostart::forThisProgram();
    // Only the legacy wake key is removed through it; the account has its own store.
    static SecretServiceStore secretService;
    static FileSecretStore secretFile(FileSecretStore::defaultDirectory());
    static FallbackSecretStore secrets(secretService, secretFile);
    // Parented to the application, so it goes before the event loop's objects do.
    static UsageStore* store = new UsageStore(
        Services{SystemClock::shared(), appServer, codexAuthFile, account, claude,
                 sharedNotifications(), pairingServers, wake, widgets, autostart, secrets,
                 SharedSnapshotStore::preferences(), Preferences::standard()},
        QCoreApplication::instance());
    return *store;
}
