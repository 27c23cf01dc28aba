#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/fallback_secret_store.h"
#include "platform/file_secret_store.h"
#include "platform/secret_service_store.h"
#include "sources/codex/credentials_store.h"
#include "support/run_task.h"

// A session bus address that leads nowhere: the credentials go to the private file instead.
TEST(CredentialsWithoutSecretService, AreKeptInAPrivateFile) {
    QTemporaryDir folder;
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            QStringLiteral("unix:path=%1/no-bus").arg(folder.path()).toUtf8());
    SecretServiceStore secretService;
    FileSecretStore file(folder.path() + QStringLiteral("/quotamind"));
    FallbackSecretStore store(secretService, file);
    CredentialsStore credentials(store);

    const CodexCredentials signedIn{QStringLiteral("i"), QStringLiteral("a"), QStringLiteral("r"),
                                    QStringLiteral("acct")};
    test::runTask(credentials.save(signedIn));
    EXPECT_EQ(test::runTask(credentials.load()), signedIn);
    const QFileInfo item(file.itemPath(CredentialsStore::kService, CredentialsStore::kAccount));
    ASSERT_TRUE(item.isFile());
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(item.filePath()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    test::runTask(credentials.deleteCredentials());
    test::runTask(credentials.deleteCredentials());
    EXPECT_FALSE(test::runTask(credentials.load()).has_value());
    EXPECT_FALSE(QFileInfo::exists(item.filePath()));
}
