#pragma once

#include "core/clock.h"
#include "platform/secrets/secret_store.h"

// The freedesktop Secret Service (GNOME Keyring, KWallet) through libsecret, with the schema
// that `secret-tool` and keytar-based programs use, so items they stored are found.
//
// Calls are libsecret's asynchronous ones, driven by the calling thread's GLib main context (Qt's
// event loop on Linux), so a call that waits on an unlock prompt holds no thread. On a thread
// whose event loop is not GLib's, the blocking calls run on a small pool of the store's own.
// A call ends with CancelledError when its token is cancelled, and with
// SecretStoreError::Status::Failed when it has not ended within kTimeLimitSeconds on `clock`.
//
// Only a missing session bus, or a bus without a Secret Service, is
// SecretStoreError::Status::NotAvailable; a time-out, a refusal or a locked keyring is not.
class SecretServiceStore final : public SecretStore {
public:
    // Long enough to type a password into an unlock prompt.
    static constexpr double kTimeLimitSeconds = 120.0;

    // `clock` measures the time limit and must outlive every call.
    explicit SecretServiceStore(Clock& clock);
    Q_DISABLE_COPY_MOVE(SecretServiceStore)

    QCoro::Task<std::optional<QByteArray>> find(QString service, std::optional<QString> account,
                                                CancellationToken cancellation = {}) override;
    QCoro::Task<> save(QString service, QString account, QString label, QByteArray data,
                       CancellationToken cancellation = {}) override;
    QCoro::Task<bool> remove(QString service, QString account,
                             CancellationToken cancellation = {}) override;

private:
    Clock& m_clock;
};
