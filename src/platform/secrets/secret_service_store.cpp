#include "secret_service_store.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QCoro/QCoroFuture>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <coroutine>
#include <functional>
#include <memory>

#include "core/time_limit.h"

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

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct TableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using TablePtr = std::unique_ptr<GHashTable, TableUnref>;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// The values point into the given arrays, which must outlive the table.
TablePtr attributes(const QByteArray& service, const QByteArray* account) {
    TablePtr table(g_hash_table_new(g_str_hash, g_str_equal));
    g_hash_table_insert(table.get(), const_cast<char*>("service"),
                        const_cast<char*>(service.constData()));
    if (account != nullptr) {
        g_hash_table_insert(table.get(), const_cast<char*>("account"),
                            const_cast<char*>(account->constData()));
    }
    return table;
}

std::optional<QByteArray> takeValue(SecretValue* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    QByteArray data(bytes, static_cast<qsizetype>(length));
    secret_value_unref(value);
    return data;
}

using Status = SecretStoreError::Status;

// Reaching the session bus failed: there is none, unless the reason says it is there but
// refused or did not answer.
Status busStatus(const GError* error) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED)) {
        return Status::AccessDenied;
    }
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) {
        return Status::Failed;
    }
    return Status::NotAvailable;
}

// The bus is there; only a missing Secret Service on it makes the store unavailable.
Status serviceStatus(const GError* error) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        return Status::Cancelled;  // our own cancellation is told apart before
    }
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER)) {
        return Status::NotAvailable;
    }
    if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED) ||
        g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED)) {
        return Status::AccessDenied;
    }
    return Status::Failed;
}

// One call's GCancellable: cancelled by the caller's token, or when the time limit passes.
class CallLimit final {
public:
    CallLimit(Clock& clock, CancellationToken cancellation)
        : m_cancellation(std::move(cancellation)) {
        m_cancellation.throwIfCancelled();
        m_callbackId = m_cancellation.onCancel(
            [cancellable = m_cancellable] { g_cancellable_cancel(cancellable.get()); });
        m_limit = runAfter(clock, SecretServiceStore::kTimeLimitSeconds, m_limitCancellation,
                           [cancellable = m_cancellable, timedOut = m_timedOut] {
                               timedOut->store(true);
                               g_cancellable_cancel(cancellable.get());
                           });
    }
    ~CallLimit() {
        m_cancellation.removeCallback(m_callbackId);
        m_limitCancellation.cancel();
    }
    Q_DISABLE_COPY_MOVE(CallLimit)

    GCancellable* cancellable() const { return m_cancellable.get(); }

    // Throws what a step that ended with `error` (null when it succeeded) ends the call with.
    void check(const GError* error, Status (*statusOf)(const GError*)) const {
        m_cancellation.throwIfCancelled();
        if (error == nullptr) {
            return;
        }
        if (m_timedOut->load()) {
            throw SecretStoreError(
                SecretStoreError::Status::Failed,
                QCoreApplication::translate("SecretServiceStore",
                                            "The keyring did not answer in time."));
        }
        throw SecretStoreError(statusOf(error), QString::fromUtf8(error->message));
    }

private:
    CancellationToken m_cancellation;
    std::shared_ptr<GCancellable> m_cancellable{g_cancellable_new(), ObjectUnref()};
    std::shared_ptr<std::atomic<bool>> m_timedOut = std::make_shared<std::atomic<bool>>(false);
    CancellationToken m_limitCancellation;
    CancellationToken::CallbackId m_callbackId = 0;
    QCoro::Task<> m_limit;
};

using AsyncResult = std::shared_ptr<GAsyncResult>;

// Starts a GLib asynchronous call when awaited, and resumes the coroutine from its ready
// callback, which GLib runs in the starting thread's main context, that is, from Qt's event loop.
// (Copyable, as QCoro's awaitable check asks; only the copy being awaited is ever started.)
class AsyncCall final {
public:
    using Start = std::function<void(GCancellable*, GAsyncReadyCallback, gpointer)>;

    AsyncCall(Start start, GCancellable* cancellable)
        : m_start(std::move(start)), m_cancellable(cancellable) {}

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiter) {
        m_waiter = waiter;
        m_start(m_cancellable, &AsyncCall::ready, this);
    }
    AsyncResult await_resume() const noexcept { return m_result; }

private:
    static void ready(GObject*, GAsyncResult* result, gpointer self) {
        auto* call = static_cast<AsyncCall*>(self);
        call->m_result.reset(G_ASYNC_RESULT(g_object_ref(result)), ObjectUnref());
        call->m_waiter.resume();
    }

    Start m_start;
    GCancellable* m_cancellable;
    std::coroutine_handle<> m_waiter;
    AsyncResult m_result;
};

// One libsecret operation, in its asynchronous and its blocking form.
template <typename T>
struct Operation {
    AsyncCall::Start start;
    std::function<T(GAsyncResult*, GError**)> finish;
    std::function<T(GCancellable*, GError**)> block;
};

bool glibLoopRuns() {
    const QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
    return dispatcher != nullptr && dispatcher->inherits("QEventDispatcherGlib");
}

// Threads for the blocking calls, apart from Qt's global pool, which a prompt nobody answers
// would otherwise hold. Never deleted: a call still waiting at exit must not hold up the exit.
QThreadPool& blockingPool() {
    static QThreadPool* const pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(2);
        return created;
    }();
    return *pool;
}

// Errors of the blocking form; raw pointers, as QFuture results are copied.
template <typename T>
struct BlockingOutcome {
    T value{};
    GError* busError = nullptr;
    GError* error = nullptr;
};

using Connection = std::unique_ptr<GDBusConnection, ObjectUnref>;

// libsecret reports a missing bus and a bus that does not answer alike, so the bus is asked for
// first. That step takes no cancellable: GLib hands every caller waiting on one connection attempt
// the same outcome, so cancelling one call would fail all the others. Holding the connection
// until the call ends keeps libsecret on this same, established one.
template <typename T>
QCoro::Task<T> perform(Clock& clock, CancellationToken cancellation, Operation<T> operation) {
    const CallLimit limit(clock, std::move(cancellation));
    GCancellable* const cancellable = limit.cancellable();
    if (!glibLoopRuns()) {
        QFuture<BlockingOutcome<T>> future = QtConcurrent::run(&blockingPool(), [cancellable,
                                                                                 &operation] {
            BlockingOutcome<T> outcome;
            const Connection bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &outcome.busError));
            if (bus) {
                outcome.value = operation.block(cancellable, &outcome.error);
            }
            return outcome;
        });
        BlockingOutcome<T> outcome = co_await future;
        const ErrorPtr busError(outcome.busError);
        const ErrorPtr error(outcome.error);
        limit.check(busError.get(), busStatus);
        limit.check(error.get(), serviceStatus);
        co_return std::move(outcome.value);
    }

    AsyncCall connecting([](GCancellable*, GAsyncReadyCallback ready,
                            gpointer data) { g_bus_get(G_BUS_TYPE_SESSION, nullptr, ready, data); },
                         nullptr);
    const AsyncResult connected = co_await connecting;
    GError* rawError = nullptr;
    const Connection bus(g_bus_get_finish(connected.get(), &rawError));
    const ErrorPtr busError(rawError);
    limit.check(busError.get(), busStatus);

    AsyncCall calling(operation.start, cancellable);
    const AsyncResult called = co_await calling;
    rawError = nullptr;
    T value = operation.finish(called.get(), &rawError);
    const ErrorPtr error(rawError);
    limit.check(error.get(), serviceStatus);
    co_return value;
}

}  // namespace

SecretServiceStore::SecretServiceStore(Clock& clock) : m_clock(clock) {}

QCoro::Task<std::optional<QByteArray>> SecretServiceStore::find(QString service,
                                                                std::optional<QString> account,
                                                                CancellationToken cancellation) {
    const QByteArray serviceBytes = service.toUtf8();
    const QByteArray accountBytes = account.value_or(QString()).toUtf8();
    const TablePtr table = attributes(serviceBytes, account ? &accountBytes : nullptr);
    GHashTable* const query = table.get();
    auto finding = perform<std::optional<QByteArray>>(
        m_clock, std::move(cancellation),
        {.start =
             [query](GCancellable* c, GAsyncReadyCallback ready, gpointer data) {
                 secret_password_lookupv(genericSchema(), query, c, ready, data);
             },
         .finish =
             [](GAsyncResult* result, GError** error) {
                 return takeValue(secret_password_lookup_binary_finish(result, error));
             },
         .block =
             [query](GCancellable* c, GError** error) {
                 return takeValue(
                     secret_password_lookupv_binary_sync(genericSchema(), query, c, error));
             }});
    co_return co_await finding;
}

QCoro::Task<> SecretServiceStore::save(QString service, QString account, QString label,
                                       QByteArray data, CancellationToken cancellation) {
    const QByteArray serviceBytes = service.toUtf8();
    const QByteArray accountBytes = account.toUtf8();
    const QByteArray labelBytes = label.toUtf8();
    const TablePtr table = attributes(serviceBytes, &accountBytes);
    const std::unique_ptr<SecretValue, decltype(&secret_value_unref)> value(
        secret_value_new(data.constData(), data.size(), "application/octet-stream"),
        &secret_value_unref);
    GHashTable* const item = table.get();
    SecretValue* const secret = value.get();
    const char* const labelText = labelBytes.constData();
    auto saving = perform<bool>(
        m_clock, std::move(cancellation),
        {.start =
             [item, secret, labelText](GCancellable* c, GAsyncReadyCallback ready, gpointer data) {
                 secret_password_storev_binary(genericSchema(), item, SECRET_COLLECTION_DEFAULT,
                                               labelText, secret, c, ready, data);
             },
         .finish =
             [](GAsyncResult* result, GError** error) {
                 return secret_password_store_finish(result, error) == TRUE;
             },
         .block =
             [item, secret, labelText](GCancellable* c, GError** error) {
                 return secret_password_storev_binary_sync(genericSchema(), item,
                                                           SECRET_COLLECTION_DEFAULT, labelText,
                                                           secret, c, error) == TRUE;
             }});
    co_await saving;
}

QCoro::Task<bool> SecretServiceStore::remove(QString service, QString account,
                                             CancellationToken cancellation) {
    const QByteArray serviceBytes = service.toUtf8();
    const QByteArray accountBytes = account.toUtf8();
    const TablePtr table = attributes(serviceBytes, &accountBytes);
    GHashTable* const item = table.get();
    auto removing = perform<bool>(
        m_clock, std::move(cancellation),
        {.start =
             [item](GCancellable* c, GAsyncReadyCallback ready, gpointer data) {
                 secret_password_clearv(genericSchema(), item, c, ready, data);
             },
         .finish =
             [](GAsyncResult* result, GError** error) {
                 return secret_password_clear_finish(result, error) == TRUE;
             },
         .block =
             [item](GCancellable* c, GError** error) {
                 return secret_password_clearv_sync(genericSchema(), item, c, error) == TRUE;
             }});
    co_return co_await removing;
}
