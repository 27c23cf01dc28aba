#include "fallback_secret_store.h"

namespace {

bool isUnavailable(const SecretStoreError& error) {
    return error.status() == SecretStoreError::notAvailable;
}

}  // namespace

FallbackSecretStore::FallbackSecretStore(SecretStore& primary, SecretStore& fallback)
    : m_primary(primary), m_fallback(fallback) {}

QCoro::Task<std::optional<QByteArray>> FallbackSecretStore::find(QString service,
                                                                 std::optional<QString> account) {
    try {
        auto finding = m_primary.find(service, account);
        co_return co_await finding;
    } catch (const SecretStoreError& error) {
        if (!isUnavailable(error)) {
            throw;
        }
    }
    auto findingFallback = m_fallback.find(service, account);
    co_return co_await findingFallback;
}

QCoro::Task<> FallbackSecretStore::save(QString service, QString account, QString label,
                                        QByteArray data) {
    bool unavailable = false;
    try {
        auto saving = m_primary.save(service, account, label, data);
        co_await saving;
    } catch (const SecretStoreError& error) {
        if (!isUnavailable(error)) {
            throw;
        }
        unavailable = true;
    }
    if (unavailable) {
        auto savingFallback = m_fallback.save(service, account, label, data);
        co_await savingFallback;
        co_return;
    }
    // A stale copy left from a time without the Secret Service; the saved item is the truth.
    try {
        auto removingStale = m_fallback.remove(service, account);
        co_await removingStale;
    } catch (const SecretStoreError&) {
    }
}

QCoro::Task<bool> FallbackSecretStore::remove(QString service, QString account) {
    bool removed = false;
    try {
        auto removing = m_primary.remove(service, account);
        removed = co_await removing;
    } catch (const SecretStoreError& error) {
        if (!isUnavailable(error)) {
            throw;
        }
    }
    auto removingFallback = m_fallback.remove(service, account);
    const bool removedFallback = co_await removingFallback;
    co_return removed || removedFallback;
}
