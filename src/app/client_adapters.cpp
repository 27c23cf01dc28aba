#include "client_adapters.h"

#include "notify/limit_notification_manager.h"
#include "sources/codex/codex_app_server_client.h"
#include "sources/codex/credentials_store.h"

QCoro::Task<AgentUsage> AppServerAdapter::fetchUsage(CancellationToken token) {
    return m_client.fetchUsage(std::move(token));
}

QCoro::Task<> AppServerAdapter::monitorUsage(UpdateHandler onUpdate, CancellationToken token) {
    return m_client.monitorUsage(std::move(onUpdate), std::move(token));
}

QCoro::Task<bool> AppServerAdapter::isCodexInstalled() {
    return m_client.isCodexInstalled();
}

QCoro::Task<std::optional<CodexCredentials>> AccountAdapter::loadCredentials() {
    return m_credentials.load();
}

QCoro::Task<> AccountAdapter::saveCredentials(CodexCredentials credentials) {
    return m_credentials.save(std::move(credentials));
}

QCoro::Task<> AccountAdapter::deleteCredentials() {
    return m_credentials.deleteCredentials();
}

QCoro::Task<CodexDeviceCode> AccountAdapter::requestDeviceCode(CancellationToken token) {
    return m_client.requestDeviceCode(std::move(token));
}

QCoro::Task<CodexAccount::AuthorizationResponse> AccountAdapter::pollForAuthorization(
    CodexDeviceCode code, CancellationToken token) {
    return m_client.pollForAuthorization(std::move(code), std::move(token));
}

QCoro::Task<CodexCredentials> AccountAdapter::exchange(AuthorizationResponse authorization,
                                                       CancellationToken token) {
    return m_client.exchange(std::move(authorization), std::move(token));
}

QCoro::Task<AgentUsage> AccountAdapter::fetchUsage(CodexCredentials credentials,
                                                   bool retryAfterRefresh,
                                                   CancellationToken token) {
    return m_client.fetchUsage(std::move(credentials), retryAfterRefresh, std::move(token));
}

QCoro::Task<> NotificationsAdapter::start(std::optional<AgentUsageSnapshot> snapshot) {
    return m_manager.start(std::move(snapshot));
}

void NotificationsAdapter::synchronize(const AgentUsageSnapshot& snapshot) {
    m_manager.synchronize(snapshot);
}
