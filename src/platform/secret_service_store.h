#pragma once

#include "platform/secret_store.h"

// The freedesktop Secret Service (GNOME Keyring, KWallet) through libsecret, with the schema
// that `secret-tool` and keytar-based programs use, so items they stored are found. Each call runs
// on a worker thread. No session bus, or no service on it, is SecretStoreError::notAvailable.
class SecretServiceStore final : public SecretStore {
public:
    QCoro::Task<std::optional<QByteArray>> find(QString service,
                                                std::optional<QString> account) override;
    QCoro::Task<> save(QString service, QString account, QString label, QByteArray data) override;
    QCoro::Task<bool> remove(QString service, QString account) override;
};
