#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QThreadPool>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/job.h"
#include "history/usage_history_database.h"
#include "model/agent_usage.h"
#include "model/agent_usage_snapshot.h"
#include "model/pace_forecast.h"

// The usage history as the program uses it: every applied reading is appended, the file is
// pruned at start and daily, and reads and forecasts are answered, all on one thread of its own
// so the main thread never waits on the disk. A failing database never stops the caller: it is
// logged and announced once (problem()) until it works again.
class UsageHistory final : public QObject {
    Q_OBJECT

public:
    // A reading that only repeats the last one is recorded at most this often per agent.
    static constexpr double kRepeatedReadingSeconds = 15 * 60;
    static constexpr double kPruneIntervalSeconds = 86400;

    UsageHistory(QString path, Clock& clock, QObject* parent = nullptr);
    // Finishes the writes already queued.
    ~UsageHistory() override;
    Q_DISABLE_COPY_MOVE(UsageHistory)

    // $XDG_DATA_HOME/quotamind/history.sqlite3.
    static QString defaultPath();

    // Opens the file and prunes it, then prunes it once a day while the program runs.
    void start();
    // A reading the store applied; `changed` false for one that repeats the agent's last reading.
    void record(const AgentUsage& usage, bool changed);

    // The rows since `since`, of one provider when given; none while the file cannot be used.
    QCoro::Task<std::vector<HistoryRow>> rows(
        Timestamp since, const std::optional<std::string>& provider = std::nullopt);
    // The forecast of each window of `snapshot` at `now`, from the history of its last hour.
    QCoro::Task<PaceForecasts> forecasts(AgentUsageSnapshot snapshot, Timestamp now);

Q_SIGNALS:
    // What went wrong, for the user, once until the history works again.
    void problem(const QString& text);

private:
    struct Outcome {
        std::optional<HistoryDatabaseError> error;
        std::optional<QString> movedAsideTo;
    };
    static QCoro::Task<> pruneDaily(QPointer<UsageHistory> history, CancellationToken token);
    // Runs `work` on the history's thread; a failure is reported, and `fallback` returned.
    template <typename Result, typename Work>
    QCoro::Task<Result> query(Work work, Result fallback);
    void report(const Outcome& outcome);

    QString m_path;
    Clock& m_clock;
    std::unique_ptr<UsageHistoryDatabase> m_database;
    // One thread that never expires: a Qt SQL connection belongs to the thread that made it.
    QThreadPool m_thread;
    std::map<std::string, Timestamp> m_lastRecordedAt;
    std::set<HistoryDatabaseError::Kind> m_reported;
    Job<UsageHistory> m_pruneJob{this};
};
