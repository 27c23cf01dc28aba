#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/fallback_secret_store.h"
#include "platform/file_secret_store.h"
#include "platform/secret_service_store.h"
#include "support/run_task.h"

// A session bus address that leads nowhere: every operation reports that no service is there,
// and the fallback keeps items in the private file instead.
TEST(SecretServiceUnavailableTest, EveryOperationReportsNotAvailableAndTheFileTakesOver) {
    QTemporaryDir folder;
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            QStringLiteral("unix:path=%1/no-bus").arg(folder.path()).toUtf8());
    SecretServiceStore store;
    const auto statusOf = [](auto task) { return test::errorOf<SecretStoreError>(task).status(); };
    const QString s = QStringLiteral("s");
    const QString a = QStringLiteral("a");
    EXPECT_EQ(statusOf(store.find(s, std::nullopt)), SecretStoreError::notAvailable);
    EXPECT_EQ(statusOf(store.save(s, a, s, "x")), SecretStoreError::notAvailable);
    EXPECT_EQ(statusOf(store.remove(s, a)), SecretStoreError::notAvailable);

    FileSecretStore file(folder.path() + QStringLiteral("/quotamind"));
    FallbackSecretStore fallback(store, file);
    test::runTask(fallback.save(s, a, s, "kept"));
    EXPECT_EQ(test::runTask(file.find(s, a)), QByteArray("kept"));
    EXPECT_EQ(test::runTask(fallback.find(s, std::nullopt)), QByteArray("kept"));
    EXPECT_TRUE(test::runTask(fallback.remove(s, a)));
    EXPECT_FALSE(test::runTask(fallback.remove(s, a)));
}
