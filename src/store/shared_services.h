#pragma once

#include "store/store_services.h"

// The process-wide sources and followers behind the store's narrow interfaces.
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

// Real pairing servers on the local network, made with `options` (the program's advertise
// themselves by DNS-SD).
class LanPairingServers final : public PairingServerFactory {
public:
    explicit LanPairingServers(LanPairingServer::Options options = {}) : m_options(options) {}
    std::unique_ptr<PairingServer> make(const LanPairingPayload& pairing) override;

    // The server made last; valid while its owner keeps it.
    LanPairingServer* latest() const { return m_latest; }

private:
    LanPairingServer::Options m_options;
    LanPairingServer* m_latest = nullptr;
};

// The program's wake sender. Waking a phone that is away from the local network needs the wake
// record in the phone app's own cloud container, which nothing on Linux can write: it answers
// WakeUnavailableError at once, and the store stops asking.
class UnavailableWakeSender final : public WakeSender {
public:
    QCoro::Task<> sendWake(LanPairingPayload pairing) override;
};

// The program's reset notifications; the store synchronizes them after every change.
SnapshotNotifications& sharedNotifications();
