#include "secret_service_store.h"

#include <QCoro/QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <variant>

// libsecret's headers use `signals` and friends as identifiers.
#undef signals
#include <libsecret/secret.h>

namespace {

const SecretSchema* genericSchema() {
    // DONT_MATCH_NAME: items other programs stored carry their own xdg:schema, or none.
    static const SecretSchema schema = {"org.freedesktop.Secret.Generic",
                                        SECRET_SCHEMA_DONT_MATCH_NAME,
                                        {
                                            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        },
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

SecretStoreError toError(GError* error) {
    const QString message = QString::fromUtf8(error->message);
    SecretStoreError::Status status = SecretStoreError::failed;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        status = SecretStoreError::userCanceled;
    } else if (error->domain == G_IO_ERROR ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_FILE_NOT_FOUND)) {
        status = SecretStoreError::notAvailable;
    } else if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED) ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED)) {
        status = SecretStoreError::accessDenied;
    }
    g_error_free(error);
    return SecretStoreError(status, message);
}

// A worker's outcome: the value, or the error to throw on the calling thread.
template <typename T>
using Outcome = std::variant<T, SecretStoreError>;

template <typename T>
T unwrap(Outcome<T> outcome) {
    if (auto* error = std::get_if<SecretStoreError>(&outcome)) {
        throw *error;
    }
    return std::get<T>(std::move(outcome));
}

Outcome<std::optional<QByteArray>> lookup(const QByteArray& service,
                                          const std::optional<QByteArray>& account) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"),
                        const_cast<char*>(service.constData()));
    if (account) {
        g_hash_table_insert(attributes, const_cast<char*>("account"),
                            const_cast<char*>(account->constData()));
    }
    GError* error = nullptr;
    SecretValue* value =
        secret_password_lookupv_binary_sync(genericSchema(), attributes, nullptr, &error);
    g_hash_table_unref(attributes);
    if (error != nullptr) {
        return toError(error);
    }
    if (value == nullptr) {
        return std::optional<QByteArray>();
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    QByteArray data(bytes, static_cast<qsizetype>(length));
    secret_value_unref(value);
    return std::optional<QByteArray>(std::move(data));
}

}  // namespace

QCoro::Task<std::optional<QByteArray>> SecretServiceStore::find(QString service,
                                                                std::optional<QString> account) {
    const QByteArray serviceBytes = service.toUtf8();
    std::optional<QByteArray> accountBytes;
    if (account) {
        accountBytes = account->toUtf8();
    }
    auto future = QtConcurrent::run(
        [serviceBytes, accountBytes] { return lookup(serviceBytes, accountBytes); });
    co_return unwrap(co_await future);
}

QCoro::Task<> SecretServiceStore::save(QString service, QString account, QString label,
                                       QByteArray data) {
    auto future = QtConcurrent::run([service = service.toUtf8(), account = account.toUtf8(),
                                     label = label.toUtf8(), data]() -> Outcome<bool> {
        SecretValue* value =
            secret_value_new(data.constData(), data.size(), "application/octet-stream");
        GError* error = nullptr;
        secret_password_store_binary_sync(
            genericSchema(), SECRET_COLLECTION_DEFAULT, label.constData(), value, nullptr, &error,
            "service", service.constData(), "account", account.constData(), nullptr);
        secret_value_unref(value);
        if (error != nullptr) {
            return toError(error);
        }
        return true;
    });
    unwrap(co_await future);
}

QCoro::Task<bool> SecretServiceStore::remove(QString service, QString account) {
    auto future = QtConcurrent::run(
        [service = service.toUtf8(), account = account.toUtf8()]() -> Outcome<bool> {
            GError* error = nullptr;
            const gboolean removed = secret_password_clear_sync(
                genericSchema(), nullptr, &error, "service", service.constData(), "account",
                account.constData(), nullptr);
            if (error != nullptr) {
                return toError(error);
            }
            return removed == TRUE;
        });
    co_return unwrap(co_await future);
}
