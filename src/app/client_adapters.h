#pragma once

#include "store/store_services.h"

class ClaudeUsageClient;
class CodexAppServerClient;
class CodexAuthClient;
class CodexAuthFileUsageClient;
class CredentialsStore;
class LimitNotificationManager;

// The program's clients behind the store's narrow interfaces. Each holds references to clients
// the Application owns, which outlive it.

class AppServerAdapter final : public CodexAppServerSource {
public:
    explicit AppServerAdapter(CodexAppServerClient& client) : m_client(client) {}
    QCoro::Task<AgentUsage> fetchUsage(CancellationToken token) override;
    QCoro::Task<> monitorUsage(UpdateHandler onUpdate, CancellationToken token) override;
    QCoro::Task<bool> isCodexInstalled() override;

private:
    CodexAppServerClient& m_client;
};

// Codex's auth file or Claude Code: any client with fetchUsage(token).
template <typename Client>
class UsageClientAdapter final : public AgentUsageSource {
public:
    explicit UsageClientAdapter(Client& client) : m_client(client) {}
    QCoro::Task<AgentUsage> fetchUsage(CancellationToken token) override {
        return m_client.fetchUsage(std::move(token));
    }

private:
    Client& m_client;
};

class AccountAdapter final : public CodexAccount {
public:
    AccountAdapter(CredentialsStore& credentials, CodexAuthClient& client)
        : m_credentials(credentials), m_client(client) {}
    QCoro::Task<std::optional<CodexCredentials>> loadCredentials() override;
    QCoro::Task<> saveCredentials(CodexCredentials credentials) override;
    QCoro::Task<> deleteCredentials() override;
    QCoro::Task<CodexDeviceCode> requestDeviceCode(CancellationToken token) override;
    QCoro::Task<AuthorizationResponse> pollForAuthorization(CodexDeviceCode code,
                                                            CancellationToken token) override;
    QCoro::Task<CodexCredentials> exchange(AuthorizationResponse authorization,
                                           CancellationToken token) override;
    QCoro::Task<AgentUsage> fetchUsage(CodexCredentials credentials, bool retryAfterRefresh,
                                       CancellationToken token) override;

private:
    CredentialsStore& m_credentials;
    CodexAuthClient& m_client;
};

class NotificationsAdapter final : public SnapshotNotifications {
public:
    explicit NotificationsAdapter(LimitNotificationManager& manager) : m_manager(manager) {}
    QCoro::Task<> start(std::optional<AgentUsageSnapshot> snapshot) override;
    void synchronize(const AgentUsageSnapshot& snapshot) override;

private:
    LimitNotificationManager& m_manager;
};
