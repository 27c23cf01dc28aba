#include "fallback_secret_store.h"

#include "platform/logging.h"

namespace {

bool isUnavailable(const SecretStoreError& error) {
    return error.status() == SecretStoreError::Status::NotAvailable;
}

}  // namespace

FallbackSecretStore::FallbackSecretStore(SecretStore& primary, SecretStore& fallback)
    : m_primary(primary), m_fallback(fallback) {}

QCoro::Task<std::optional<QByteArray>> FallbackSecretStore::find(QString service,
                                                                 std::optional<QString> account,
                                                                 CancellationToken cancellation) {
    bool unavailable = false;
    try {
        auto finding = m_primary.find(service, account, cancellation);
        if (auto data = co_await finding) {
            co_return data;
        }
    } catch (const SecretStoreError& error) {
        if (!isUnavailable(error)) {
            throw;
        }
        unavailable = true;
    }
    auto findingFallback = m_fallback.find(service, account, cancellation);
    std::optional<QByteArray> data = co_await findingFallback;
    if (data && account && !unavailable) {
        // Saved while no keyring ran: the keyring is back, so the item belongs there now.
        auto moving = moveToPrimary(service, *account, *data, cancellation);
        co_await moving;
    }
    co_return data;
}

QCoro::Task<> FallbackSecretStore::moveToPrimary(QString service, QString account, QByteArray data,
                                                 CancellationToken cancellation) {
    try {
        auto saving = m_primary.save(service, account, service, data, cancellation);
        co_await saving;
        auto removing = m_fallback.remove(service, account, cancellation);
        co_await removing;
    } catch (const SecretStoreError&) {
    }
}

QCoro::Task<> FallbackSecretStore::save(QString service, QString account, QString label,
                                        QByteArray data, CancellationToken cancellation) {
    bool unavailable = false;
    try {
        auto saving = m_primary.save(service, account, label, data, cancellation);
        co_await saving;
    } catch (const SecretStoreError& error) {
        if (!isUnavailable(error)) {
            throw;
        }
        unavailable = true;
    }
    if (unavailable) {
        qCInfo(lcPlatform) << "no Secret Service: keeping the item in the private secrets folder";
        auto savingFallback = m_fallback.save(service, account, label, data, cancellation);
        co_await savingFallback;
        co_return;
    }
    // A stale copy left from a time without the Secret Service; the saved item is the truth.
    try {
        auto removingStale = m_fallback.remove(service, account, cancellation);
        co_await removingStale;
    } catch (const SecretStoreError&) {
    }
}

QCoro::Task<bool> FallbackSecretStore::remove(QString service, QString account,
                                              CancellationToken cancellation) {
    bool removed = false;
    try {
        auto removing = m_primary.remove(service, account, cancellation);
        removed = co_await removing;
    } catch (const SecretStoreError& error) {
        if (!isUnavailable(error)) {
            throw;
        }
    }
    auto removingFallback = m_fallback.remove(service, account, cancellation);
    const bool removedFallback = co_await removingFallback;
    co_return removed || removedFallback;
}
