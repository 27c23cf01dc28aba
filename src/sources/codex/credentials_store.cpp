#include "credentials_store.h"

#include "sources/codex/codex_client_error.h"

namespace {

const QString kLabel = QStringLiteral("Quotamind ChatGPT account");

}  // namespace

CredentialsStore::CredentialsStore(SecretStore& store) : m_store(store) {}

QCoro::Task<std::optional<CodexCredentials>> CredentialsStore::load() {
    std::optional<QByteArray> data;
    try {
        auto finding = m_store.find(kService, kAccount);
        data = co_await finding;
    } catch (const SecretStoreError& error) {
        throw CodexClientError::secretStore(error.status());
    }
    if (!data) {
        co_return std::nullopt;
    }
    co_return CodexCredentials::decode(*data);
}

QCoro::Task<> CredentialsStore::save(CodexCredentials credentials) {
    const QByteArray data = credentials.encoded();
    try {
        auto saving = m_store.save(kService, kAccount, kLabel, data);
        co_await saving;
    } catch (const SecretStoreError& error) {
        throw CodexClientError::secretStore(error.status());
    }
}

QCoro::Task<> CredentialsStore::deleteCredentials() {
    try {
        auto removing = m_store.remove(kService, kAccount);
        co_await removing;
    } catch (const SecretStoreError& error) {
        throw CodexClientError::secretStore(error.status());
    }
}
