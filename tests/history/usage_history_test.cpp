#include "history/usage_history.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <csignal>

#include "support/manual_clock.h"
#include "support/run_task.h"
#include "support/usage_builder.h"

namespace {

// A usage of `provider` whose five-hour window is `used` percent used.
AgentUsage reading(const std::string& provider, std::int64_t used) {
    return test::usage(provider, {test::fiveHour(used, test::kReadAt + 7200)});
}

class UsageHistoryTest : public ::testing::Test {
protected:
    QString path() const { return m_folder.filePath(QStringLiteral("quotamind/history.sqlite3")); }
    std::unique_ptr<UsageHistory> open() {
        auto history = std::make_unique<UsageHistory>(path(), m_clock);
        m_problems = 0;
        QObject::connect(history.get(), &UsageHistory::problem, [this] { ++m_problems; });
        history->start();
        return history;
    }
    std::vector<HistoryRow> rows(UsageHistory& history) {
        return test::runTask(history.rows(Timestamp(-1e12)));
    }
    // Runs `statement` as another program would; the first value it gives, if any.
    QString inspect(const QString& statement) {
        QVariant value;
        {
            QSqlDatabase database =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
            database.setDatabaseName(path());
            EXPECT_TRUE(database.open());
            QSqlQuery query(database);
            EXPECT_TRUE(query.exec(statement)) << statement.toStdString();
            if (query.next()) {
                value = query.value(0);
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
        return value.toString();
    }

    QTemporaryDir m_folder;
    ManualClock m_clock{test::kReadAt};
    int m_problems = 0;
};

// Changed readings are kept at once; one that only repeats the last is kept at most every 15
// minutes per agent, so flat use is told apart from no data. Rows live 90 days.
TEST_F(UsageHistoryTest, KeepsChangesRepeatsEveryQuarterHourAndNinetyDays) {
    auto history = open();
    history->record(reading("codex", 10), true);
    m_clock.advance(60);
    history->record(reading("codex", 10), false);  // too soon
    history->record(reading("claude", 5), true);
    m_clock.advance(UsageHistory::kRepeatedReadingSeconds);
    history->record(reading("codex", 10), false);
    const std::vector<HistoryRow> kept = rows(*history);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0], (HistoryRow{test::kReadAt, "codex", 18000, 10, test::kReadAt + 7200,
                                   UsageSource::LocalDesktop, true}));
    EXPECT_EQ(kept[1].provider, "claude");
    EXPECT_FALSE(kept[2].changed);
    EXPECT_EQ(inspect(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("wal"));
    EXPECT_EQ(inspect(QStringLiteral("PRAGMA user_version")), QStringLiteral("1"));

    // A day before the 90 have passed nothing goes; at the next daily prune the first rows do.
    m_clock.advance(UsageHistoryDatabase::kRetentionSeconds - 86400);
    EXPECT_EQ(rows(*history).size(), 3u);
    m_clock.advance(86400);
    EXPECT_EQ(rows(*history).size(), 1u);
    EXPECT_EQ(m_problems, 0);
}

TEST_F(UsageHistoryTest, ForecastsFromTheRecordedHistory) {
    auto history = open();
    for (const std::int64_t used : {30, 40, 50, 60}) {
        history->record(reading("codex", used), true);
        m_clock.advance(600);
    }
    const AgentUsageSnapshot snapshot({reading("codex", 60), reading("claude", 1)});
    const PaceForecasts forecasts = test::runTask(history->forecasts(snapshot, m_clock.now()));
    ASSERT_EQ(forecasts.forecasts.size(), 1u) << "claude has no history";
    EXPECT_NEAR(*forecasts.find("codex", 18000)->limitAt - m_clock.now(), 2400, 1);
}

// A file that is damaged or held locked by another program is moved aside and a new one started,
// and the user told once; a file of a newer Quotamind is left as it is, with the history off.
TEST_F(UsageHistoryTest, AFileThatCannotBeUsed) {
    for (const char* fault : {"corrupt", "locked", "newer"}) {
        SCOPED_TRACE(fault);
        const bool movedAside = qstrcmp(fault, "newer") != 0;
        QDir(m_folder.path()).removeRecursively();
        QDir().mkpath(m_folder.filePath(QStringLiteral("quotamind")));
        QSqlDatabase holder =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QString::fromLatin1(fault));
        if (qstrcmp(fault, "corrupt") == 0) {
            QFile file(path());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(8192, 'x'));
        } else if (qstrcmp(fault, "locked") == 0) {
            holder.setDatabaseName(path());
            ASSERT_TRUE(holder.open());
            QSqlQuery(holder).exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
            ASSERT_TRUE(QSqlQuery(holder).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        } else {
            inspect(QStringLiteral("PRAGMA user_version=7"));
        }
        auto history = open();
        history->record(reading("codex", 10), true);
        history->record(reading("codex", 20), true);
        EXPECT_EQ(rows(*history).size(), movedAside ? 2u : 0u);
        EXPECT_EQ(m_problems, 1);
        const QStringList aside = QDir(m_folder.filePath(QStringLiteral("quotamind")))
                                      .entryList({QStringLiteral("*.broken-*")});
        EXPECT_EQ(aside.size(), movedAside ? 1 : 0);
        holder.close();
        holder = QSqlDatabase();
        QSqlDatabase::removeDatabase(QString::fromLatin1(fault));
        if (!movedAside) {
            EXPECT_EQ(inspect(QStringLiteral("PRAGMA user_version")), QStringLiteral("7"));
        }
    }
}

// The disk full mid-write: the reading is lost, not the caller's; the failure is said once, and
// the history goes on once there is room again.
TEST_F(UsageHistoryTest, ADiskThatIsFull) {
    auto history = open();
    history->record(reading("codex", 10), true);
    ASSERT_EQ(rows(*history).size(), 1u);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    for (const std::int64_t used : {20, 30, 40}) {
        history->record(reading("codex", used), true);
    }
    const std::size_t whileFull = rows(*history).size();
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(whileFull, 1u);
    EXPECT_EQ(m_problems, 1);
    history->record(reading("codex", 50), true);
    EXPECT_EQ(rows(*history).size(), 2u);
}

}  // namespace
