#pragma once

#include "platform/secrets/secret_store.h"

// One secret store in front of another: items live in `primary` (the Secret Service) while it is
// there, and in `fallback` (the file store) whenever `primary` reports
// SecretStoreError::Status::NotAvailable. Other failures of `primary` are passed on as they are: a
// locked or refused keyring must not send secrets to a file behind the user's back.
//
// Only one copy stays alive: an item of a given account that `primary` lacks but `fallback`
// holds moves into `primary` when it is found; saving to `primary` removes the item from
// `fallback`; and removing takes the item out of both, so a signed-out account cannot come back
// from the file when the Secret Service is missing later. A find without an account returns a
// file item without moving it. Neither store is owned.
class FallbackSecretStore final : public SecretStore {
public:
    FallbackSecretStore(SecretStore& primary, SecretStore& fallback);
    Q_DISABLE_COPY_MOVE(FallbackSecretStore)

    QCoro::Task<std::optional<QByteArray>> find(QString service, std::optional<QString> account,
                                                CancellationToken cancellation = {}) override;
    QCoro::Task<> save(QString service, QString account, QString label, QByteArray data,
                       CancellationToken cancellation = {}) override;
    QCoro::Task<bool> remove(QString service, QString account,
                             CancellationToken cancellation = {}) override;

private:
    // Moves the file copy into `primary`; on failure it stays in the file for the next find.
    QCoro::Task<> moveToPrimary(QString service, QString account, QByteArray data,
                                CancellationToken cancellation);

    SecretStore& m_primary;
    SecretStore& m_fallback;
};
