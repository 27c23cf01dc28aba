#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QProcess>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThreadPool>
#include <atomic>
#include <csignal>

#include "core/system_clock.h"
#include "memory_secret_store.h"
#include "platform/bounded_file.h"
#include "platform/secrets/fallback_secret_store.h"
#include "platform/secrets/file_secret_store.h"
#include "platform/secrets/secret_service_store.h"
#include "support/run_task.h"

namespace {

using Status = SecretStoreError::Status;
const QString kService = QStringLiteral("com.brindlecove.Quotamind.test");
const QString kAccount = QStringLiteral("a");

template <typename Task>
Status statusOf(Task task) {
    return test::errorOf<SecretStoreError>(std::move(task)).status();
}

// secret-tool with `arguments` and `input`: what it printed, as other programs see the keyring.
QByteArray secretTool(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("secret-tool"), arguments);
    tool.write(input);
    tool.closeWriteChannel();
    return tool.waitForFinished(30000) && tool.exitCode() == 0 ? tool.readAll() : "failed";
}

// The thread that last wrote past the file size limit.
std::atomic<pid_t> s_writer{0};

}  // namespace

TEST(SecretServiceStoreTest, FindsWhatOthersStoredAndReplacesBinaryDataInPlace) {
    SystemClock clock;
    SecretServiceStore store(clock);
    try {
        test::runTask(store.find(QStringLiteral("probe"), std::nullopt));
    } catch (const SecretStoreError& error) {
        if (error.status() == Status::NotAvailable) {
            GTEST_SKIP() << "no Secret Service (run through tests/support/with-secret-service)";
        }
    }
    const QString other = QStringLiteral("Quotamind test: other program");
    ASSERT_NE(
        secretTool({QStringLiteral("store"), QStringLiteral("--label=x"), QStringLiteral("service"),
                    other, QStringLiteral("account"), QStringLiteral("someone")},
                   "theirs"),
        "failed");
    EXPECT_EQ(test::runTask(store.find(other, std::nullopt)), QByteArray("theirs"));
    EXPECT_EQ(test::runTask(store.find(other, QStringLiteral("someone"))), QByteArray("theirs"));
    EXPECT_FALSE(test::runTask(store.find(other, QStringLiteral("nobody"))).has_value());

    const QByteArray binary("one\0two", 7);
    test::runTask(store.save(kService, kAccount, QStringLiteral("label"), "first"));
    test::runTask(store.save(kService, kAccount, QStringLiteral("label"), binary));
    EXPECT_EQ(test::runTask(store.find(kService, kAccount)), binary);
    EXPECT_EQ(secretTool({QStringLiteral("search"), QStringLiteral("--all"),
                          QStringLiteral("service"), kService})
                  .count("label = "),
              1)
        << "not replaced in place";
    EXPECT_TRUE(test::runTask(store.remove(kService, kAccount)));
    EXPECT_FALSE(test::runTask(store.remove(kService, kAccount)));
    EXPECT_FALSE(test::runTask(store.find(kService, std::nullopt)).has_value());
}

class FileSecretStoreTest : public ::testing::Test {
protected:
    QString path() const { return m_store.itemPath(kService, kAccount); }
    QCoro::Task<> save(const QByteArray& data, const QString& account = kAccount) {
        return m_store.save(kService, account, QStringLiteral("label"), data);
    }
    std::optional<QByteArray> find(std::optional<QString> account = kAccount) {
        return test::runTask(m_store.find(kService, std::move(account)));
    }

    QTemporaryDir m_folder;
    FileSecretStore m_store{m_folder.path() + QStringLiteral("/data/quotamind")};
};

TEST_F(FileSecretStoreTest, ItemsAndTheirFolderArePrivate) {
    ::umask(0022);
    test::runTask(save("first"));
    // Owner, group and others (Qt's "user" bits repeat the owner's).
    constexpr int kModes = 0x7077;
    EXPECT_EQ(QFile::permissions(path()) & kModes, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(QFile::permissions(m_store.directory()) & kModes,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Opened up by an older copy or a restored backup: closed again at start.
    ::chmod(QFile::encodeName(path()).constData(), 0644);
    m_store.restrictToOwner();
    EXPECT_EQ(QFile::permissions(path()) & kModes, QFile::ReadOwner | QFile::WriteOwner);
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
    EXPECT_EQ(statusOf(save(QByteArray(4096, 'x'))), Status::Failed);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_NE(s_writer.load(), 0);
    EXPECT_NE(s_writer.load(), ::getpid()) << "written on the calling thread";
    EXPECT_EQ(find(), QByteArray("old credentials"));
    EXPECT_EQ(QDir(m_store.directory()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "a temporary file was left behind";
}

TEST_F(FileSecretStoreTest, AccountsStayApartAndUnusableItemsFail) {
    test::runTask(save("for a.b/c", QStringLiteral("a.b/c")));
    EXPECT_FALSE(find().has_value());
    EXPECT_EQ(find(QStringLiteral("a.b/c")), QByteArray("for a.b/c"));
    EXPECT_TRUE(find(std::nullopt).has_value());
    EXPECT_EQ(statusOf(save(QByteArray(FileSecretStore::kMaxItemBytes + 1, 'x'))), Status::Failed);
    ASSERT_TRUE(QDir().mkpath(path()));  // a folder in the item's place
    EXPECT_EQ(statusOf(m_store.find(kService, kAccount)), Status::Failed);
}

TEST(ReadRegularFileTest, OnlyARegularFileWithinTheLimitIsRead) {
    QTemporaryDir folder;
    const auto read = [&](const char* name, qint64 maxBytes) {
        return readRegularFileAsync(folder.filePath(QString::fromLatin1(name)), maxBytes);
    };
    const auto errorOf = [&](const char* name, qint64 maxBytes) {
        return test::errorOf<FileReadError>(read(name, maxBytes)).errorNumber();
    };
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("fifo"))), 0600), 0);
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("folder")));
    QFile file(folder.filePath(QStringLiteral("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("12345") == 5 && file.flush());
    EXPECT_EQ(errorOf("fifo", 16), EINVAL);
    EXPECT_EQ(errorOf("folder", 16), EISDIR);
    EXPECT_EQ(errorOf("file", 4), EFBIG);
    EXPECT_EQ(test::runTask(read("file", 5)), QByteArray("12345"));
    EXPECT_EQ(test::runTask(read("missing", 16)), std::nullopt);
    // The disk may be slow: the read goes to a worker. With every worker held busy, it cannot
    // finish before the test lets them go (shared: a worker may still be inside acquire()).
    const auto release = std::make_shared<QSemaphore>();
    const int workers = QThreadPool::globalInstance()->maxThreadCount();
    for (int worker = 0; worker < workers; ++worker) {
        QThreadPool::globalInstance()->start([release] { release->acquire(); });
    }
    test::StartedTask<std::optional<QByteArray>> held(read("file", 5));
    EXPECT_FALSE(held.isDone());
    release->release(workers);
    ASSERT_TRUE(held.waitUntilDone());
}

TEST(FallbackSecretStoreTest, TheFileHoldsItemsOnlyWhileNoKeyringRuns) {
    MemorySecretStore keyring;
    MemorySecretStore file;
    FallbackSecretStore store(keyring, file);
    // Every failure but a missing keyring (refused, locked, timed out: one branch) is reported,
    // and the file is untouched.
    keyring.failWith = Status::Failed;
    EXPECT_EQ(statusOf(store.save(kService, kAccount, kService, "x")), Status::Failed);
    EXPECT_EQ(statusOf(store.find(kService, kAccount)), Status::Failed);
    EXPECT_EQ(statusOf(store.remove(kService, kAccount)), Status::Failed);
    EXPECT_EQ(file.calls, 0);

    // Without a keyring the file keeps the item, which moves into the keyring once one runs.
    keyring.failWith = Status::NotAvailable;
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
    keyring.failWith = Status::NotAvailable;
    EXPECT_FALSE(test::runTask(store.find(kService, kAccount)).has_value());
}
