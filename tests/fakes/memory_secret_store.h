#pragma once

#include <QHash>
#include <optional>

#include "platform/secrets/secret_store.h"

// Secret items kept in memory, for tests of callers' decisions. `failWith` makes every operation
// fail with that status, as a locked or refused keyring does.
class MemorySecretStore final : public SecretStore {
public:
    std::optional<SecretStoreError::Status> failWith;
    // Operations performed, so a test can tell whether the store was asked at all.
    int calls = 0;

    void put(const QString& service, const QString& account, const QByteArray& data) {
        m_items.insert({service, account}, data);
    }

    QCoro::Task<std::optional<QByteArray>> find(QString service, std::optional<QString> account,
                                                CancellationToken = {}) override {
        check();
        for (auto it = m_items.cbegin(); it != m_items.cend(); ++it) {
            if (it.key().first == service && (!account || it.key().second == *account)) {
                co_return it.value();
            }
        }
        co_return std::nullopt;
    }

    QCoro::Task<> save(QString service, QString account, QString, QByteArray data,
                       CancellationToken = {}) override {
        check();
        put(service, account, data);
        co_return;
    }

    QCoro::Task<bool> remove(QString service, QString account, CancellationToken = {}) override {
        check();
        co_return m_items.remove({service, account}) > 0;
    }

private:
    void check() {
        ++calls;
        if (failWith) {
            throw SecretStoreError(*failWith, QStringLiteral("refused"));
        }
    }

    QHash<std::pair<QString, QString>, QByteArray> m_items;
};
