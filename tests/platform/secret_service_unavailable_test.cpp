#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <atomic>

#include "platform/secrets/secret_service_store.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

#undef signals
#include <gio/gio.h>

namespace {

const QString kService = QStringLiteral("s");
const QString kAccount = QStringLiteral("a");

template <typename Task>
SecretStoreError::Status statusOf(Task task) {
    return test::errorOf<SecretStoreError>(std::move(task)).status();
}

// The D-Bus error name the test's Secret Service answers every call with; null: it never answers.
std::atomic<const char*> s_reply{nullptr};

GDBusMessage* answer(GDBusConnection* connection, GDBusMessage* message, gboolean incoming,
                     gpointer) {
    if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
        return message;
    }
    if (const char* name = s_reply.load()) {
        GDBusMessage* error = g_dbus_message_new_method_error_literal(message, name, "refused");
        g_dbus_connection_send_message(connection, error, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr,
                                       nullptr);
        g_object_unref(error);
    }
    g_object_unref(message);
    return nullptr;
}

}  // namespace

// One scenario, as the process keeps its first session bus connection: no bus at all, then a
// private bus (no service files) without the service, then one on which the test owns the
// service's name and refuses, or never answers.
TEST(SecretServiceFailureTest, OnlyAMissingBusOrServiceIsNotAvailable) {
    QTemporaryDir folder;
    ManualClock clock;
    SecretServiceStore keyring(clock);

    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(folder.path()) + "/none");
    EXPECT_EQ(statusOf(keyring.find(kService, std::nullopt)),
              SecretStoreError::Status::NotAvailable);

    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                  QStringLiteral("--config-file=" PRIVATE_BUS_CONFIG),
                  QStringLiteral("--address=unix:dir=") + folder.path()});
    // The address may arrive in pieces; only a whole line is the address.
    while (!daemon.canReadLine() && daemon.waitForReadyRead(10000)) {
    }
    if (!daemon.canReadLine()) {
        GTEST_SKIP() << "dbus-daemon could not run a private bus here";
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed());
    // The process's session connection must outlive the daemon without ending the process.
    GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_NE(session, nullptr);
    g_dbus_connection_set_exit_on_close(session, FALSE);
    EXPECT_EQ(statusOf(keyring.find(kService, kAccount)), SecretStoreError::Status::NotAvailable);

    GDBusConnection* owner = g_dbus_connection_new_for_address_sync(
        qgetenv("DBUS_SESSION_BUS_ADDRESS").constData(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    g_dbus_connection_add_filter(owner, &answer, nullptr, nullptr);
    g_variant_unref(g_dbus_connection_call_sync(
        owner, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", "org.freedesktop.secrets", 0u), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr));
    const std::pair<const char*, SecretStoreError::Status> cases[] = {
        // G_IO_ERROR_TIMED_OUT, by the name GDBus gives an error without a D-Bus name.
        {"org.gtk.GDBus.UnmappedGError.Quark._g_2dio_2derror_2dquark.Code24",
         SecretStoreError::Status::Failed},
        {"org.freedesktop.DBus.Error.AccessDenied", SecretStoreError::Status::AccessDenied},
        {"org.freedesktop.Secret.Error.IsLocked", SecretStoreError::Status::AccessDenied},
    };
    for (const auto& [reply, status] : cases) {
        s_reply = reply;
        EXPECT_EQ(statusOf(keyring.save(kService, kAccount, kService, "x")), status) << reply;
        EXPECT_EQ(statusOf(keyring.find(kService, kAccount)), status) << reply;
    }

    // An unlock prompt nobody answers holds no thread, and the call ends when cancelled, or as
    // failed once the time limit passes.
    s_reply = nullptr;
    CancellationToken cancellation;
    test::StartedTask<std::optional<QByteArray>> cancelled(
        keyring.find(kService, kAccount, cancellation));
    test::StartedTask<void> timedOut(keyring.save(kService, kAccount, kService, "x"));
    EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0);
    cancellation.cancel();
    ASSERT_TRUE(cancelled.waitUntilDone());
    EXPECT_THROW(cancelled.get(), CancelledError);
    EXPECT_FALSE(timedOut.isDone());
    clock.advance(SecretServiceStore::kTimeLimitSeconds);
    ASSERT_TRUE(timedOut.waitUntilDone());
    EXPECT_EQ(statusOf([&] { timedOut.get(); }), SecretStoreError::Status::Failed);

    g_dbus_connection_close_sync(owner, nullptr, nullptr);
    g_object_unref(owner);
    g_object_unref(session);
    daemon.kill();
    daemon.waitForFinished(10000);
}
