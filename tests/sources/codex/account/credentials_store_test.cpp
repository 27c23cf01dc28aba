#include "sources/codex/credentials_store.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/json.h"
#include "memory_secret_store.h"
#include "sources/codex/codex_client_error.h"
#include "support/run_task.h"

namespace {

const CodexCredentials kFirst{QStringLiteral("id-secret"), QStringLiteral("access-secret"),
                              QStringLiteral("refresh-secret"), QStringLiteral("acct")};
const CodexCredentials kSecond{QStringLiteral("id2"), QStringLiteral("access2"),
                               QStringLiteral("refresh2"), std::nullopt};

}  // namespace

TEST(CredentialsStoreTest, KeepsOneItemInTheStoredFormAndDeletesTwice) {
    MemorySecretStore secrets;
    CredentialsStore credentials(secrets);
    EXPECT_FALSE(test::runTask(credentials.load()).has_value());
    test::runTask(credentials.save(kFirst));
    EXPECT_EQ(test::runTask(credentials.load()), kFirst);
    // The documented keys, "accountID" only when there is one.
    test::runTask(credentials.save(kSecond));
    EXPECT_EQ(test::runTask(secrets.find(CredentialsStore::kService, CredentialsStore::kAccount)),
              QByteArray(R"({"idToken":"id2","accessToken":"access2","refreshToken":"refresh2"})"));
    test::runTask(credentials.deleteCredentials());
    test::runTask(credentials.deleteCredentials());
    EXPECT_FALSE(test::runTask(credentials.load()).has_value());
}

TEST(CredentialsStoreTest, AnItemThatIsNotCredentialsFailsToDecode) {
    MemorySecretStore secrets;
    CredentialsStore credentials(secrets);
    const auto load = [&](const QByteArray& item) {
        secrets.put(CredentialsStore::kService, CredentialsStore::kAccount, item);
        return test::runTask(credentials.load());
    };
    EXPECT_THROW(load(R"({"idToken":"i","accessToken":"a"})"), json::DecodingError);
    EXPECT_EQ(
        load(R"({"idToken":"i","accessToken":"a","refreshToken":"r","accountID":null,"extra":1})"),
        (CodexCredentials{QStringLiteral("i"), QStringLiteral("a"), QStringLiteral("r"),
                          std::nullopt}));
}

TEST(CredentialsStoreTest, StoreFailuresBecomeSecretStoreErrors) {
    MemorySecretStore secrets;
    CredentialsStore credentials(secrets);
    secrets.failWith = SecretStoreError::Status::AccessDenied;
    const std::function<QCoro::Task<>()> operations[] = {
        [&]() -> QCoro::Task<> { co_await credentials.load(); },
        [&] { return credentials.save(kFirst); },
        [&] { return credentials.deleteCredentials(); },
    };
    for (const auto& operation : operations) {
        EXPECT_EQ(test::errorOf<CodexClientError>(operation()).code(),
                  CodexClientError::Code::SecretStore);
    }
}
