#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "history/history_export.h"
#include "history/usage_history_database.h"
#include "model/shared_snapshot_store.h"
#include "support/usage_builder.h"

namespace {

TEST(HistoryExportTest, SinceAndCsv) {
    EXPECT_EQ(HistoryExport::parseSince(QStringLiteral("90m")), 5400);
    EXPECT_EQ(HistoryExport::parseSince(QStringLiteral("7d")), 604800);
    for (const char* bad : {"", "7", "0d", "-1h", "7w", "1.5h", "999999d", " 7d"}) {
        EXPECT_EQ(HistoryExport::parseSince(QString::fromLatin1(bad)), std::nullopt) << bad;
    }
    // An agent's name is open-ended: quoted so that it stays one field.
    const HistoryRow row{Timestamp::fromUnixSeconds(1767225600),
                         "a,\"b\"",
                         18000,
                         42,
                         Timestamp::fromUnixSeconds(1767232800),
                         UsageSource::AccountSession,
                         false};
    EXPECT_EQ(HistoryExport::csv({row}),
              "time,agent,window_seconds,used_percent,reset_at,source,changed\n"
              "2026-01-01T00:00:00Z,\"a,\"\"b\"\"\",18000,42,2026-01-01T02:00:00Z,"
              "accountSession,0\n");
}

// The program reads the history file as another program, while the tray program may write it.
class HistoryCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toUtf8());
    }
    void TearDown() override {
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_HOME");
    }
    // The program's exit status; its output in m_output.
    int run(QStringList arguments) {
        QProcess program;
        program.start(QStringLiteral(QUOTAMIND_PROGRAM),
                      QStringList{QStringLiteral("history")} + arguments);
        const bool finished = program.waitForFinished(30000);
        m_output = program.readAllStandardOutput() + program.readAllStandardError();
        return finished ? program.exitCode() : -1;
    }
    QTemporaryDir m_home;
    QByteArray m_output;
};

TEST_F(HistoryCommandTest, PrintsTheRowsAndTheForecasts) {
    EXPECT_EQ(run({}), 1) << "no file yet: nothing made";
    EXPECT_FALSE(QFile::exists(m_home.filePath(QStringLiteral("data/quotamind"))));
    EXPECT_EQ(run({QStringLiteral("--agent"), QStringLiteral("gemini")}), 2);

    const Timestamp now = Timestamp::now();
    const Timestamp reset = now + 7230;  // half a minute of slack for the program starting
    {
        UsageHistoryDatabase database(
            m_home.filePath(QStringLiteral("data/quotamind/history.sqlite3")));
        database.open();
        std::vector<HistoryRow> rows;
        for (const int minutesAgo : {30, 20, 10, 0}) {
            rows.push_back({now - minutesAgo * 60.0, "codex", 18000, 60 - minutesAgo, reset,
                            UsageSource::LocalDesktop, true});
        }
        rows.push_back(
            {now - 9 * 86400.0, "claude", 18000, 5, reset, UsageSource::LocalDesktop, true});
        database.append(rows);
    }
    ASSERT_EQ(run({QStringLiteral("--json")}), 0) << m_output.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(m_output).array();
    ASSERT_EQ(rows.size(), 4) << "claude's row is older than 7 days";
    EXPECT_EQ(rows[3][u"usedPercent"], 60);
    ASSERT_EQ(run({QStringLiteral("--since"), QStringLiteral("10d"), QStringLiteral("--agent"),
                   QStringLiteral("claude"), QStringLiteral("--csv")}),
              0);
    EXPECT_EQ(m_output.count('\n'), 2);

    SharedSnapshotStore::save(test::snapshot({test::usage("codex", {test::fiveHour(60, reset)})}));
    ASSERT_EQ(run({QStringLiteral("--forecast"), QStringLiteral("--json")}), 0);
    const QJsonObject forecast = QJsonDocument::fromJson(m_output)[u"codex"][u"18000"].toObject();
    EXPECT_EQ(forecast[u"text"].toString(),
              QStringLiteral("At this pace: limit reached in 40m, 1h 20m before the reset"))
        << m_output.toStdString();
}

}  // namespace
