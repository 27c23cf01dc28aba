#pragma once

#include "store/store_services.h"

// The process-wide sources behind the store's narrow interfaces, and the followers that have no
// implementation yet in this program (the phone link), which do nothing.
class SharedCodexAppServer final : public CodexAppServerSource {
public:
    QCoro::Task<AgentUsage> fetchUsage(CancellationToken token) override;
    QCoro::Task<> monitorUsage(UpdateHandler onUpdate, CancellationToken token) override;
    QCoro::Task<bool> isCodexInstalled() override;
};

class SharedCodexAuthFile final : public AgentUsageSource {
public:
    QCoro::Task<AgentUsage> fetchUsage(CancellationToken token) override;
};

class SharedClaude final : public AgentUsageSource {
public:
    QCoro::Task<AgentUsage> fetchUsage(CancellationToken token) override;
};

class SharedCodexAccount final : public CodexAccount {
public:
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
};

class NoPhoneLink final : public PhoneLink {
public:
    void start(const std::optional<AgentUsageSnapshot>&) override {}
    void publish(const AgentUsageSnapshot&) override {}
    void maybeSendWakePush(const AgentUsageSnapshot&) override {}
};

// The program's reset notifications; the store synchronizes them after every change.
SnapshotNotifications& sharedNotifications();
