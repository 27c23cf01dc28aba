#include "platform/secret_service_store.h"

#include <gtest/gtest.h>

#include "support/secret_service.h"

TEST(SecretServiceStoreTest, FindsWhatOthersStoredAndReplacesBinaryDataInPlace) {
    SecretServiceStore store;
    if (test::secretServiceMissing(store)) {
        GTEST_SKIP() << "no Secret Service on this session bus (run through "
                        "tests/support/with-secret-service)";
    }
    const QString other = QStringLiteral("Quotamind test: other program");
    ASSERT_TRUE(test::storeWithSecretTool(other, QStringLiteral("someone"), "theirs"));
    EXPECT_EQ(test::runTask(store.find(other, std::nullopt)), QByteArray("theirs"));
    EXPECT_EQ(test::runTask(store.find(other, QStringLiteral("someone"))), QByteArray("theirs"));
    EXPECT_FALSE(test::runTask(store.find(other, QStringLiteral("nobody"))).has_value());

    const QString service = QStringLiteral("com.brindlecove.Quotamind.test");
    const QByteArray binary("one\0two", 7);
    test::runTask(store.save(service, QStringLiteral("a"), QStringLiteral("label"), "first"));
    test::runTask(store.save(service, QStringLiteral("a"), QStringLiteral("label"), binary));
    EXPECT_EQ(test::runTask(store.find(service, QStringLiteral("a"))), binary);
    EXPECT_EQ(test::secretToolItemCount(service), 1) << "not replaced in place";
    EXPECT_TRUE(test::runTask(store.remove(service, QStringLiteral("a"))));
    EXPECT_FALSE(test::runTask(store.remove(service, QStringLiteral("a"))));
    EXPECT_FALSE(test::runTask(store.find(service, std::nullopt)).has_value());
}
