#include "sources/codex/credentials_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <functional>

#include "core/json.h"
#include "memory_secret_store.h"
#include "platform/fallback_secret_store.h"
#include "platform/file_secret_store.h"
#include "platform/secret_service_store.h"
#include "platform/shared_keychain.h"
#include "sources/codex/codex_client_error.h"
#include "support/run_task.h"
#include "support/secret_service.h"

namespace {

const CodexCredentials kFirst{QStringLiteral("id-secret"), QStringLiteral("access-secret"),
                              QStringLiteral("refresh-secret"), QStringLiteral("acct")};
const CodexCredentials kSecond{QStringLiteral("id2"), QStringLiteral("access2"),
                               QStringLiteral("refresh2"), std::nullopt};

// The credentials store on each real backend: the Secret Service of the private session bus
// and the file store.
struct SecretServiceBackend {
    explicit SecretServiceBackend(const QString&) {}
    int itemCount() const { return test::secretToolItemCount(CredentialsStore::kService); }
    SecretServiceStore store;
};

struct FileBackend {
    explicit FileBackend(const QString& folder) : store(folder + QStringLiteral("/quotamind")) {}
    int itemCount() const {
        return static_cast<int>(
            QDir(store.directory()).entryList(QDir::Files | QDir::Hidden).size());
    }
    FileSecretStore store;
};

template <typename Backend>
class CredentialsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::secretServiceMissing(m_backend.store)) {
            GTEST_SKIP() << "no Secret Service on this session bus (run through "
                            "tests/support/with-secret-service)";
        }
        test::runTask(
            m_backend.store.remove(CredentialsStore::kService, CredentialsStore::kAccount));
    }

    QTemporaryDir m_folder;
    Backend m_backend{m_folder.path()};
    CredentialsStore m_credentials{m_backend.store};
};

using Backends = ::testing::Types<SecretServiceBackend, FileBackend>;
TYPED_TEST_SUITE(CredentialsStoreTest, Backends);

}  // namespace

TYPED_TEST(CredentialsStoreTest, CreatesUpdatesInPlaceAndDeletesTwice) {
    EXPECT_FALSE(test::runTask(this->m_credentials.load()).has_value());
    test::runTask(this->m_credentials.save(kFirst));
    EXPECT_EQ(test::runTask(this->m_credentials.load()), kFirst);
    test::runTask(this->m_credentials.save(kSecond));
    EXPECT_EQ(test::runTask(this->m_credentials.load()), kSecond);
    EXPECT_EQ(this->m_backend.itemCount(), 1) << "not updated in place";

    test::runTask(this->m_credentials.deleteCredentials());
    test::runTask(this->m_credentials.deleteCredentials());
    EXPECT_FALSE(test::runTask(this->m_credentials.load()).has_value());
    EXPECT_EQ(this->m_backend.itemCount(), 0);
}

TYPED_TEST(CredentialsStoreTest, AnItemThatIsNotCredentialsFailsToDecode) {
    const QByteArray items[] = {
        "not json",
        R"({"idToken":"i","accessToken":"a"})",
        R"({"idToken":"i","accessToken":"a","refreshToken":"r","accountID":[]})",
    };
    for (const QByteArray& item : items) {
        SCOPED_TRACE(item.toStdString());
        test::runTask(this->m_backend.store.save(
            CredentialsStore::kService, CredentialsStore::kAccount, QStringLiteral("x"), item));
        EXPECT_THROW(test::runTask(this->m_credentials.load()), json::DecodingError);
    }
    // The stored form: the documented keys, "accountID" only when there is one.
    test::runTask(this->m_credentials.save(kSecond));
    EXPECT_EQ(test::runTask(this->m_backend.store.find(CredentialsStore::kService, std::nullopt)),
              QByteArray(R"({"idToken":"id2","accessToken":"access2","refreshToken":"refresh2"})"));
    test::runTask(this->m_backend.store.save(
        CredentialsStore::kService, CredentialsStore::kAccount, QStringLiteral("x"),
        R"({"idToken":"i","accessToken":"a","refreshToken":"r","accountID":null,"extra":1})"));
    EXPECT_EQ(test::runTask(this->m_credentials.load()),
              (CodexCredentials{QStringLiteral("i"), QStringLiteral("a"), QStringLiteral("r"),
                                std::nullopt}));
}

TEST(CredentialsStoreErrors, StoreFailuresBecomeKeychainErrorsWithTheirStatus) {
    MemorySecretStore secrets;
    CredentialsStore credentials(secrets);
    const std::pair<SecretStoreError::Status, const char*> cases[] = {
        {SecretStoreError::accessDenied, "Keychain error -25293."},
        {SecretStoreError::userCanceled, "Keychain error -128."},
        {SecretStoreError::failed, "Keychain error -25299."},
    };
    const std::function<QCoro::Task<>()> operations[] = {
        [&]() -> QCoro::Task<> { co_await credentials.load(); },
        [&] { return credentials.save(kFirst); },
        [&] { return credentials.deleteCredentials(); },
    };
    for (const auto& [status, text] : cases) {
        secrets.failWith = status;
        for (const auto& operation : operations) {
            const auto error = test::errorOf<CodexClientError>(operation());
            EXPECT_EQ(error.code(), CodexClientError::Code::keychain);
            EXPECT_EQ(error.localizedDescription(), QString::fromUtf8(text));
        }
    }
}

class FileSecretStoreTest : public ::testing::Test {
protected:
    QString path() const {
        return m_store.itemPath(CredentialsStore::kService, CredentialsStore::kAccount);
    }
    QStringList files() const {
        return QDir(m_store.directory()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    void save(const QByteArray& data) {
        test::runTask(m_store.save(CredentialsStore::kService, CredentialsStore::kAccount,
                                   QStringLiteral("label"), data));
    }
    std::optional<QByteArray> find() {
        return test::runTask(m_store.find(CredentialsStore::kService, CredentialsStore::kAccount));
    }

    QTemporaryDir m_folder;
    FileSecretStore m_store{m_folder.path() + QStringLiteral("/data/quotamind")};
};

TEST_F(FileSecretStoreTest, ItemsArePrivateAndReplacedWhole) {
    const auto statusOf = [](const QString& path) {
        struct stat status {};
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
        return status;
    };
    ::umask(0022);
    save("first");
    const struct stat item = statusOf(path());
    EXPECT_EQ(item.st_mode & 07777, 0600u);
    EXPECT_EQ(statusOf(m_store.directory()).st_mode & 07777, 0700u);

    // A new file renamed over the old one, never the old one rewritten.
    save("second");
    const struct stat replaced = statusOf(path());
    EXPECT_NE(replaced.st_ino, item.st_ino);
    EXPECT_EQ(replaced.st_mode & 07777, 0600u);
    EXPECT_EQ(find(), QByteArray("second"));
    EXPECT_EQ(files().size(), 1);
}

TEST_F(FileSecretStoreTest, AWriteThatFailsHalfwayLeavesTheOldItem) {
    save("old credentials");
    // The system refuses to let a file grow past 64 bytes, as a full disk would mid-write.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_EQ(test::errorOf<SecretStoreError>([&] { save(QByteArray(4096, 'x')); }).status(),
              SecretStoreError::failed);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(find(), QByteArray("old credentials"));
    EXPECT_EQ(files().size(), 1) << "a temporary file was left behind";
}

TEST_F(FileSecretStoreTest, UnreadableItemsAndOtherAccounts) {
    EXPECT_FALSE(find().has_value());
    test::runTask(m_store.save(CredentialsStore::kService, QStringLiteral("b"), {}, "for b"));
    test::runTask(
        m_store.save(CredentialsStore::kService, QStringLiteral("a.b/c"), {}, "for a.b/c"));
    test::runTask(m_store.save(QStringLiteral("other"), CredentialsStore::kAccount, {}, "other"));
    EXPECT_FALSE(find().has_value());
    EXPECT_EQ(test::runTask(m_store.find(CredentialsStore::kService, QStringLiteral("a.b/c"))),
              QByteArray("for a.b/c"));
    EXPECT_TRUE(test::runTask(m_store.find(CredentialsStore::kService, std::nullopt)).has_value());

    // A folder in the item's place: reading and replacing fail, and nothing crashes.
    ASSERT_TRUE(QDir().mkpath(path()));
    CredentialsStore credentials(m_store);
    EXPECT_EQ(test::errorOf<CodexClientError>(credentials.load()).localizedDescription(),
              QStringLiteral("Keychain error -25299."));
    EXPECT_THROW(test::runTask(credentials.save(kFirst)), CodexClientError);
    EXPECT_THROW(save(QByteArray(FileSecretStore::kMaxItemBytes + 1, 'x')), SecretStoreError);
}

TEST(FallbackSecretStoreTest, UsesTheFileOnlyWhileTheSecretServiceIsMissing) {
    QTemporaryDir folder;
    MemorySecretStore primary;
    FileSecretStore file(folder.path());
    FallbackSecretStore store(primary, file);
    CredentialsStore credentials(store);

    primary.failWith = SecretStoreError::notAvailable;
    test::runTask(credentials.save(kFirst));
    EXPECT_EQ(test::runTask(credentials.load()), kFirst);
    EXPECT_TRUE(test::runTask(file.find(CredentialsStore::kService, std::nullopt)).has_value());

    // A locked keyring is an error, not a reason to read or write the file.
    primary.failWith = SecretStoreError::accessDenied;
    EXPECT_THROW(test::runTask(credentials.load()), CodexClientError);
    EXPECT_THROW(test::runTask(credentials.save(kSecond)), CodexClientError);

    // Back on the Secret Service, the stale file copy goes away with the next save...
    primary.failWith.reset();
    test::runTask(credentials.save(kSecond));
    EXPECT_FALSE(test::runTask(file.find(CredentialsStore::kService, std::nullopt)).has_value());
    EXPECT_EQ(test::runTask(credentials.load()), kSecond);
    // ... and signing out removes every copy, so none comes back without the service.
    primary.failWith = SecretStoreError::notAvailable;
    test::runTask(credentials.save(kFirst));
    primary.failWith.reset();
    test::runTask(credentials.deleteCredentials());
    primary.failWith = SecretStoreError::notAvailable;
    EXPECT_FALSE(test::runTask(credentials.load()).has_value());
}

TEST(SharedKeychainTest, TheGroupMustBeNamedAndEntitled) {
    const QVariant group = QStringLiteral("TEAM.com.brindlecove.shared");
    const QVariant entitled = QVariantList{QStringLiteral("other"), group};
    const struct {
        QVariant information;
        QVariant entitlement;
        bool expected;
    } cases[] = {
        {group, entitled, true},
        {group, QStringList{QStringLiteral("TEAM.com.brindlecove.shared")}, true},
        {group, QVariantList{QStringLiteral("other")}, false},
        {group, QVariantList{group, 3}, false},
        {group, group, false},
        {QStringLiteral("$(TeamIdentifierPrefix)com.brindlecove.shared"),
         QVariantList{QStringLiteral("$(TeamIdentifierPrefix)com.brindlecove.shared")}, false},
        {QString(), QVariantList{QString()}, false},
        {QVariant(42), entitled, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SharedKeychain::accessGroup(c.information, c.entitlement),
                  c.expected ? std::optional(group.toString()) : std::nullopt)
            << c.information.toString().toStdString();
    }
    EXPECT_FALSE(SharedKeychain::accessGroup().has_value());
}
