#include "platform/secret_service_store.h"

#include <gtest/gtest.h>

#include <QProcess>

#include "support/run_task.h"

namespace {

const QString kService = QStringLiteral("com.brindlecove.Quotamind.test");

class SecretServiceStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        try {
            test::runTask(m_store.find(kService, std::nullopt));
        } catch (const SecretStoreError& error) {
            if (error.status() == SecretStoreError::notAvailable) {
                GTEST_SKIP() << "no Secret Service on this session bus (run through "
                                "tests/support/with-secret-service)";
            }
            throw;
        }
    }

    // Stores an item the way other programs do, with secret-tool.
    static void storeWithSecretTool(const QString& service, const QString& account,
                                    const QByteArray& secret) {
        QProcess tool;
        tool.start(QStringLiteral("secret-tool"),
                   {QStringLiteral("store"), QStringLiteral("--label=test"),
                    QStringLiteral("service"), service, QStringLiteral("account"), account});
        tool.write(secret);
        tool.closeWriteChannel();
        ASSERT_TRUE(tool.waitForFinished(30000));
        ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    }

    SecretServiceStore m_store;
};

}  // namespace

TEST_F(SecretServiceStoreTest, FindsItemsOtherProgramsStoredByServiceWithAnyAccount) {
    storeWithSecretTool(QStringLiteral("Claude Code-credentials"), QStringLiteral("someone"),
                        "{\"claudeAiOauth\":{}}");
    EXPECT_EQ(test::runTask(m_store.find(QStringLiteral("Claude Code-credentials"), std::nullopt)),
              QByteArray("{\"claudeAiOauth\":{}}"));
    EXPECT_EQ(test::runTask(m_store.find(QStringLiteral("Claude Code-credentials"),
                                         QStringLiteral("someone"))),
              QByteArray("{\"claudeAiOauth\":{}}"));
    EXPECT_FALSE(test::runTask(m_store.find(QStringLiteral("Claude Code-credentials"),
                                            QStringLiteral("nobody")))
                     .has_value());
    EXPECT_FALSE(test::runTask(m_store.find(QStringLiteral("absent"), std::nullopt)).has_value());
}

TEST_F(SecretServiceStoreTest, SavesUpdatesInPlaceAndRemovesBinaryData) {
    const QByteArray first("one\0two", 7);
    test::runTask(m_store.save(kService, QStringLiteral("a"), QStringLiteral("label"), first));
    EXPECT_EQ(test::runTask(m_store.find(kService, QStringLiteral("a"))), first);
    test::runTask(m_store.save(kService, QStringLiteral("a"), QStringLiteral("label"), "second"));
    EXPECT_EQ(test::runTask(m_store.find(kService, std::nullopt)), QByteArray("second"));

    QProcess search;
    search.setProcessChannelMode(QProcess::MergedChannels);
    search.start(QStringLiteral("secret-tool"), {QStringLiteral("search"), QStringLiteral("--all"),
                                                 QStringLiteral("service"), kService});
    ASSERT_TRUE(search.waitForFinished(30000));
    EXPECT_EQ(search.readAll().count("label = "), 1) << "not updated in place";

    EXPECT_TRUE(test::runTask(m_store.remove(kService, QStringLiteral("a"))));
    EXPECT_FALSE(test::runTask(m_store.remove(kService, QStringLiteral("a"))));
    EXPECT_FALSE(test::runTask(m_store.find(kService, std::nullopt)).has_value());
}
