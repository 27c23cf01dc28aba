#pragma once

#include <QCoro/QCoroTask>
#include <functional>
#include <memory>
#include <optional>

#include "core/cancellation_token.h"
#include "core/error.h"
#include "model/agent_usage.h"
#include "model/agent_usage_snapshot.h"
#include "phone/lan_pairing_payload.h"
#include "phone/lan_pairing_server.h"
#include "sources/codex/codex_auth_client.h"
#include "sources/codex/codex_credentials.h"
#include "sources/codex/codex_device_code.h"

// The narrow views of the sources and followers that the usage store calls. The program's
// Application wires the clients it owns behind them; tests inject fakes. Every call may
// throw the source's own error, whose localized description is what the user sees.

// The Codex app-server: one read, a live session, and whether Codex is installed at all.
class CodexAppServerSource {
public:
    using UpdateHandler = std::function<void(const AgentUsage&)>;

    virtual ~CodexAppServerSource() = default;
    virtual QCoro::Task<AgentUsage> fetchUsage(CancellationToken token) = 0;
    // Calls `onUpdate` for every usage while the session lasts; ends by returning or throwing.
    virtual QCoro::Task<> monitorUsage(UpdateHandler onUpdate, CancellationToken token) = 0;
    virtual QCoro::Task<bool> isCodexInstalled() = 0;
};

// A source that reads one agent's usage: Codex's own auth file, or Claude Code.
class AgentUsageSource {
public:
    virtual ~AgentUsageSource() = default;
    virtual QCoro::Task<AgentUsage> fetchUsage(CancellationToken token) = 0;
};

// The ChatGPT account signed in within Quotamind: its stored credentials and the client steps.
class CodexAccount {
public:
    using AuthorizationResponse = CodexAuthClient::AuthorizationResponse;

    virtual ~CodexAccount() = default;
    virtual QCoro::Task<std::optional<CodexCredentials>> loadCredentials() = 0;
    virtual QCoro::Task<> saveCredentials(CodexCredentials credentials) = 0;
    virtual QCoro::Task<> deleteCredentials() = 0;
    virtual QCoro::Task<CodexDeviceCode> requestDeviceCode(CancellationToken token) = 0;
    virtual QCoro::Task<AuthorizationResponse> pollForAuthorization(CodexDeviceCode code,
                                                                    CancellationToken token) = 0;
    virtual QCoro::Task<CodexCredentials> exchange(AuthorizationResponse authorization,
                                                   CancellationToken token) = 0;
    virtual QCoro::Task<AgentUsage> fetchUsage(CodexCredentials credentials, bool retryAfterRefresh,
                                               CancellationToken token) = 0;
};

// The reset notifications follow the store's snapshot.
class SnapshotNotifications {
public:
    virtual ~SnapshotNotifications() = default;
    virtual QCoro::Task<> start(std::optional<AgentUsageSnapshot> snapshot) = 0;
    virtual void synchronize(const AgentUsageSnapshot& snapshot) = 0;
};

// Follows the store's snapshot to the phone (PhoneLink in the program).
class PhoneFollower {
public:
    virtual ~PhoneFollower() = default;
    // Once, when the store starts: the link opens and gets the stored snapshot, if any.
    virtual void start(const std::optional<AgentUsageSnapshot>& stored) = 0;
    // A snapshot for the phone: every `changed` one, and an empty one when no agent could be read
    // (which wakes no phone).
    virtual void publish(const AgentUsageSnapshot& snapshot, bool changed) = 0;
};

// The pairing server the phone link owns (LanPairingServer in the program). Its operations return
// at once and run on the server's own thread; the callbacks are called there too.
class PairingServer {
public:
    using Callbacks = LanPairingServer::Callbacks;

    virtual ~PairingServer() = default;
    // Set before start().
    virtual void setCallbacks(Callbacks callbacks) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void publish(const AgentUsageSnapshot& snapshot) = 0;
};

// Makes the pairing server for a pairing code: one at first use, and a new one each time the
// phone is forgotten.
class PairingServerFactory {
public:
    virtual ~PairingServerFactory() = default;
    virtual std::unique_ptr<PairingServer> make(const LanPairingPayload& pairing) = 0;
};

// Sends one wake signal to the phone paired with `pairing`. Throws WakeUnavailableError when
// this computer has no way to wake the phone at all; any other error is a failed attempt.
class WakeSender {
public:
    virtual ~WakeSender() = default;
    virtual QCoro::Task<> sendWake(LanPairingPayload pairing) = 0;
};

// The wake sender's answer when waking the phone cannot work here (on Linux: the wake record
// lives in the phone app's own cloud container, which only that app can write). Not a fault:
// the phone link stops sending wakes and shows nothing; the phone is updated while it is on the
// same network.
class WakeUnavailableError final : public Error {
public:
    QString errorString() const override;
};
