#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>

#include "memory_secret_store.h"
#include "platform/bounded_file.h"
#include "platform/fallback_secret_store.h"
#include "platform/file_secret_store.h"
#include "support/run_task.h"

namespace {

const QString kService = QStringLiteral("com.brindlecove.Quotamind.test");
const QString kAccount = QStringLiteral("a");

template <typename Task>
SecretStoreError::Status statusOf(Task task) {
    return test::errorOf<SecretStoreError>(std::move(task)).status();
}

// The thread that last wrote past the file size limit.
std::atomic<pid_t> s_writer{0};

}  // namespace

class FileSecretStoreTest : public ::testing::Test {
protected:
    QString path() const { return m_store.itemPath(kService, kAccount); }
    QStringList files() const {
        return QDir(m_store.directory()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    QCoro::Task<> save(const QByteArray& data, const QString& account = kAccount) {
        return m_store.save(kService, account, QStringLiteral("label"), data);
    }
    std::optional<QByteArray> find(std::optional<QString> account = kAccount) {
        return test::runTask(m_store.find(kService, std::move(account)));
    }

    QTemporaryDir m_folder;
    FileSecretStore m_store{m_folder.path() + QStringLiteral("/data/quotamind")};
};

// That a save replaces the item whole shows where a write fails halfway, below.
TEST_F(FileSecretStoreTest, ItemsAndTheirFolderArePrivate) {
    const auto mode = [](const QString& path) {
        struct stat status {};
        ::stat(QFile::encodeName(path).constData(), &status);
        return status.st_mode & 07777;
    };
    ::umask(0022);
    test::runTask(save("first"));
    EXPECT_EQ(mode(path()), 0600u);
    EXPECT_EQ(mode(m_store.directory()), 0700u);
}

TEST_F(FileSecretStoreTest, AWriteThatFailsHalfwayLeavesTheOldItemAndNeverRunsOnTheCaller) {
    test::runTask(save("old credentials"));
    // The system refuses to let a file grow past 64 bytes, as a full disk would mid-write, and
    // tells the writing thread with SIGXFSZ.
    const auto previousHandler = std::signal(SIGXFSZ, [](int) { s_writer = ::gettid(); });
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_EQ(statusOf(save(QByteArray(4096, 'x'))), SecretStoreError::failed);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_NE(s_writer.load(), 0);
    EXPECT_NE(s_writer.load(), ::getpid()) << "written on the calling thread";
    EXPECT_EQ(find(), QByteArray("old credentials"));
    EXPECT_EQ(files().size(), 1) << "a temporary file was left behind";
}

TEST_F(FileSecretStoreTest, AccountsStayApartAndUnusableItemsFail) {
    test::runTask(save("for b", QStringLiteral("b")));
    test::runTask(save("for a.b/c", QStringLiteral("a.b/c")));
    EXPECT_FALSE(find().has_value());
    EXPECT_EQ(find(QStringLiteral("a.b/c")), QByteArray("for a.b/c"));
    EXPECT_TRUE(find(std::nullopt).has_value());

    EXPECT_EQ(statusOf(save(QByteArray(FileSecretStore::kMaxItemBytes + 1, 'x'))),
              SecretStoreError::failed);
    // A folder in the item's place.
    ASSERT_TRUE(QDir().mkpath(path()));
    EXPECT_EQ(statusOf(m_store.find(kService, kAccount)), SecretStoreError::failed);
}

TEST(ReadRegularFileTest, OnlyARegularFileWithinTheLimitIsRead) {
    QTemporaryDir folder;
    const auto at = [&](const char* name) { return folder.filePath(QString::fromLatin1(name)); };
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(at("folder")));
    QFile file(at("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("12345") == 5);
    file.close();
    const struct {
        const char* name;
        qint64 maxBytes;
        int error;  // -1: nothing there; 0: the content
    } cases[] = {{"fifo", 16, EINVAL},
                 {"folder", 16, EISDIR},
                 {"file", 4, EFBIG},
                 {"file", 5, 0},
                 {"missing", 16, -1}};
    for (const auto& c : cases) {
        auto reading = readRegularFileAsync(at(c.name), c.maxBytes);
        if (c.error > 0) {
            EXPECT_EQ(test::errorOf<FileReadError>(std::move(reading)).errorNumber(), c.error)
                << c.name;
        } else {
            EXPECT_EQ(test::runTask(std::move(reading)),
                      c.error == 0 ? std::optional(QByteArray("12345")) : std::nullopt)
                << c.name;
        }
    }
}

TEST(FallbackSecretStoreTest, TheFileHoldsItemsOnlyWhileNoKeyringRuns) {
    MemorySecretStore keyring;
    MemorySecretStore file;
    FallbackSecretStore store(keyring, file);
    // Every failure but a missing keyring (refused, locked, timed out: one branch) is reported,
    // and the file is untouched.
    keyring.failWith = SecretStoreError::failed;
    EXPECT_EQ(statusOf(store.save(kService, kAccount, kService, "x")), SecretStoreError::failed);
    EXPECT_EQ(statusOf(store.find(kService, kAccount)), SecretStoreError::failed);
    EXPECT_EQ(statusOf(store.remove(kService, kAccount)), SecretStoreError::failed);
    EXPECT_EQ(file.calls, 0);

    // Without a keyring the file keeps the item, which moves into the keyring once one runs.
    keyring.failWith = SecretStoreError::notAvailable;
    test::runTask(store.save(kService, kAccount, kService, "offline"));
    keyring.failWith.reset();
    EXPECT_EQ(test::runTask(store.find(kService, kAccount)), QByteArray("offline"));
    EXPECT_EQ(test::runTask(keyring.find(kService, kAccount)), QByteArray("offline"));
    EXPECT_FALSE(test::runTask(file.find(kService, kAccount)).has_value());

    // Saving to the keyring drops a stale file copy, and removing removes every copy.
    file.put(kService, kAccount, "stale");
    test::runTask(store.save(kService, kAccount, kService, "new"));
    EXPECT_FALSE(test::runTask(file.find(kService, kAccount)).has_value());
    file.put(kService, kAccount, "stale");
    EXPECT_TRUE(test::runTask(store.remove(kService, kAccount)));
    keyring.failWith = SecretStoreError::notAvailable;
    EXPECT_FALSE(test::runTask(store.find(kService, kAccount)).has_value());
}
