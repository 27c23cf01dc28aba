#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/secret_service_store.h"
#include "support/run_task.h"

// A session bus address that leads nowhere: every operation reports that no service is there.
TEST(SecretServiceUnavailableTest, EveryOperationReportsNotAvailable) {
    QTemporaryDir folder;
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            QStringLiteral("unix:path=%1/no-bus").arg(folder.path()).toUtf8());
    SecretServiceStore store;
    auto statusOf = [](auto task) {
        try {
            test::runTask(std::move(task));
        } catch (const SecretStoreError& error) {
            return error.status();
        }
        return SecretStoreError::failed;
    };
    EXPECT_EQ(statusOf(store.find(QStringLiteral("s"), std::nullopt)),
              SecretStoreError::notAvailable);
    EXPECT_EQ(
        statusOf(store.save(QStringLiteral("s"), QStringLiteral("a"), QStringLiteral("l"), "x")),
        SecretStoreError::notAvailable);
    EXPECT_EQ(statusOf(store.remove(QStringLiteral("s"), QStringLiteral("a"))),
              SecretStoreError::notAvailable);
}
