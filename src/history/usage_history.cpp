#include "usage_history.h"

#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include "core/worker.h"
#include "history/logging.h"

namespace {

// Opens the file when it is not open yet (at start, or after a failure closed it).
std::optional<QString> ensureOpen(UsageHistoryDatabase& database) {
    return database.isOpen() ? std::nullopt : database.open();
}

}  // namespace

UsageHistory::UsageHistory(QString path, Clock& clock, QObject* parent)
    : QObject(parent),
      m_path(std::move(path)),
      m_clock(clock),
      m_database(std::make_unique<UsageHistoryDatabase>(m_path)) {
    m_thread.setMaxThreadCount(1);
    m_thread.setExpiryTimeout(-1);
}

UsageHistory::~UsageHistory() {
    m_pruneJob.cancel();
    // The connection is closed on the thread that opened it, after the work queued before. A
    // future's waitForFinished() would run a task not yet started on this thread instead.
    m_thread.start([database = m_database.get()] { database->close(); });
    m_thread.waitForDone();
}

QString UsageHistory::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/quotamind/history.sqlite3");
}

void UsageHistory::start() {
    m_pruneJob.start(&UsageHistory::pruneDaily);
}

QCoro::Task<> UsageHistory::pruneDaily(QPointer<UsageHistory> history, CancellationToken token) {
    while (history && !token.isCancelled()) {
        const Timestamp before = history->m_clock.now() - UsageHistoryDatabase::kRetentionSeconds;
        QCoro::Task<int> pruning = history->query<int>(
            [database = history->m_database.get(), before] { return database->prune(before); }, 0);
        const int pruned = co_await pruning;
        if (!history) {
            co_return;
        }
        if (pruned > 0) {
            qCInfo(lcHistory) << "removed" << pruned << "rows older than 90 days";
        }
        QCoro::Task<> waiting = history->m_clock.sleep(kPruneIntervalSeconds, token);
        co_await waiting;
    }
}

void UsageHistory::record(const AgentUsage& usage, bool changed) {
    const Timestamp now = m_clock.now();
    const auto last = m_lastRecordedAt.find(usage.provider.rawValue);
    if (!changed && last != m_lastRecordedAt.end() &&
        std::abs(now - last->second) < kRepeatedReadingSeconds) {
        return;
    }
    m_lastRecordedAt[usage.provider.rawValue] = now;
    std::vector<HistoryRow> rows;
    for (const UsageWindow& window : usage.windows) {
        rows.push_back({now, usage.provider.rawValue, window.durationSeconds, window.usedPercent,
                        window.resetDate, usage.source, changed});
    }
    if (rows.empty()) {
        return;
    }
    QtConcurrent::run(&m_thread, [database = m_database.get(), rows = std::move(rows)] {
        Outcome outcome;
        try {
            outcome.movedAsideTo = ensureOpen(*database);
            database->append(rows);
        } catch (const HistoryDatabaseError& error) {
            outcome.error = error;
        }
        return outcome;
    }).then(this, [this](const Outcome& outcome) { report(outcome); });
}

template <typename Result, typename Work>
QCoro::Task<Result> UsageHistory::query(Work work, Result fallback) {
    QPointer<UsageHistory> self(this);
    using Answer = std::pair<Outcome, std::optional<Result>>;
    QCoro::Task<Answer> asking = runOnWorker(
        [database = m_database.get(), work = std::move(work)]() -> Answer {
            Outcome outcome;
            try {
                outcome.movedAsideTo = ensureOpen(*database);
                return {outcome, work()};
            } catch (const HistoryDatabaseError& error) {
                outcome.error = error;
                return {outcome, std::nullopt};
            }
        },
        &m_thread);
    Answer answer = co_await asking;
    if (self) {
        self->report(answer.first);
    }
    co_return answer.second ? std::move(*answer.second) : std::move(fallback);
}

QCoro::Task<std::vector<HistoryRow>> UsageHistory::rows(
    Timestamp since, const std::optional<std::string>& provider) {
    return query<std::vector<HistoryRow>>(
        [database = m_database.get(), since, provider] { return database->rows(since, provider); },
        {});
}

QCoro::Task<PaceForecasts> UsageHistory::forecasts(AgentUsageSnapshot snapshot, Timestamp now) {
    return query<PaceForecasts>([database = m_database.get(), snapshot = std::move(snapshot),
                                 now] { return database->forecasts(snapshot, now); },
                                {});
}

void UsageHistory::report(const Outcome& outcome) {
    if (outcome.movedAsideTo) {
        qCWarning(lcHistory) << "the history file could not be used; moved aside to"
                             << *outcome.movedAsideTo << "and a new one started";
        Q_EMIT problem(tr("The usage history could not be read. It was moved aside to %1 and a "
                          "new one started.")
                           .arg(*outcome.movedAsideTo));
    }
    if (!outcome.error) {
        m_reported.clear();
        return;
    }
    if (m_reported.insert(outcome.error->kind()).second) {
        qCWarning(lcHistory) << "the usage history failed:" << outcome.error->errorString();
        Q_EMIT problem(outcome.error->errorString());
    }
}
