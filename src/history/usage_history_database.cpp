#include "usage_history_database.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>

namespace {

// SQLite's result codes, as Qt's driver reports them in nativeErrorCode().
const QString kBusy = QStringLiteral("5");
const QString kLocked = QStringLiteral("6");
const QString kCorrupt = QStringLiteral("11");
const QString kFull = QStringLiteral("13");
const QString kNotADatabase = QStringLiteral("26");

// Each schema version's steps; migrating from version N runs every step from index N on.
const char* const kMigrations[] = {
    "CREATE TABLE samples ("
    " id INTEGER PRIMARY KEY,"
    " time REAL NOT NULL,"
    " provider TEXT NOT NULL,"
    " window_seconds INTEGER NOT NULL,"
    " used_percent INTEGER NOT NULL,"
    " reset_date REAL NOT NULL,"
    " source TEXT NOT NULL,"
    " changed INTEGER NOT NULL);"
    "CREATE INDEX samples_by_window ON samples (provider, window_seconds, time);"
    "CREATE INDEX samples_by_provider ON samples (provider, time);"
    "CREATE INDEX samples_by_time ON samples (time);",
};
static_assert(std::size(kMigrations) == UsageHistoryDatabase::kSchemaVersion);

HistoryDatabaseError::Kind kindOf(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    if (code == kFull) {
        return HistoryDatabaseError::Kind::Full;
    }
    if (code == kBusy || code == kLocked || code == kCorrupt || code == kNotADatabase) {
        return HistoryDatabaseError::Kind::Unusable;
    }
    return HistoryDatabaseError::Kind::Failed;
}

[[noreturn]] void fail(const QSqlError& error) {
    throw HistoryDatabaseError(kindOf(error), error.text());
}

void exec(QSqlQuery& query) {
    if (!query.exec()) {
        fail(query.lastError());
    }
}

void exec(const QSqlDatabase& database, const QString& statement) {
    QSqlQuery query(database);
    if (!query.exec(statement)) {
        fail(query.lastError());
    }
}

QVariant scalar(const QSqlDatabase& database, const QString& statement) {
    QSqlQuery query(database);
    if (!query.exec(statement)) {
        fail(query.lastError());
    }
    return query.next() ? query.value(0) : QVariant();
}

// Moves the file and its WAL companions out of the way: `path`.broken-<UTC time>.
QString moveAside(const QString& path) {
    QString aside = path + QStringLiteral(".broken-") +
                    QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddThhmmsszzz"));
    QFile::rename(path, aside);
    for (const char* suffix : {"-wal", "-shm"}) {
        QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
    }
    return aside;
}

}  // namespace

QString HistoryDatabaseError::errorString() const {
    switch (m_kind) {
        case Kind::Unusable:
            return QCoreApplication::translate("UsageHistory",
                                               "The usage history could not be read.");
        case Kind::Full:
            return QCoreApplication::translate("UsageHistory",
                                               "The disk is full: the usage history is paused.");
        case Kind::NewerVersion:
            return QCoreApplication::translate(
                "UsageHistory", "The usage history was written by a newer Quotamind.");
        case Kind::Failed:
            break;
    }
    return QCoreApplication::translate("UsageHistory", "The usage history could not be saved.");
}

UsageHistoryDatabase::UsageHistoryDatabase(QString path) : m_path(std::move(path)) {
    static std::atomic<int> s_instances{0};
    m_connectionName = QStringLiteral("quotamind-history-%1").arg(++s_instances);
}

UsageHistoryDatabase::~UsageHistoryDatabase() {
    close();
}

bool UsageHistoryDatabase::isOpen() const {
    return QSqlDatabase::contains(m_connectionName) &&
           QSqlDatabase::database(m_connectionName, false).isOpen();
}

void UsageHistoryDatabase::close() {
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

std::optional<QString> UsageHistoryDatabase::open() {
    close();
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    try {
        openConnection(false);
        migrate();
        return std::nullopt;
    } catch (const HistoryDatabaseError& error) {
        close();
        if (error.kind() != HistoryDatabaseError::Kind::Unusable) {
            throw;
        }
    }
    const QString aside = moveAside(m_path);
    openConnection(false);
    migrate();
    return aside;
}

void UsageHistoryDatabase::openForReading() {
    close();
    if (!QFileInfo(m_path).isFile()) {
        throw HistoryDatabaseError(HistoryDatabaseError::Kind::Failed, QStringLiteral("no file"));
    }
    openConnection(true);
    if (schemaVersion() > kSchemaVersion) {
        throw HistoryDatabaseError(HistoryDatabaseError::Kind::NewerVersion, QString());
    }
}

int UsageHistoryDatabase::schemaVersion() const {
    return scalar(QSqlDatabase::database(m_connectionName, false),
                  QStringLiteral("PRAGMA user_version"))
        .toInt();
}

void UsageHistoryDatabase::openConnection(bool readOnly) {
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    database.setDatabaseName(m_path);
    database.setConnectOptions(
        QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
            .arg(kBusyTimeoutMilliseconds)
            .arg(readOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    if (!database.open()) {
        fail(database.lastError());
    }
    // A file that is not a database, or a damaged one, fails its first read here.
    if (scalar(database, QStringLiteral("PRAGMA quick_check")).toString() != u"ok") {
        throw HistoryDatabaseError(HistoryDatabaseError::Kind::Unusable,
                                   QStringLiteral("integrity check failed"));
    }
    if (readOnly) {
        return;
    }
    if (scalar(database, QStringLiteral("PRAGMA journal_mode=WAL")).toString() != u"wal") {
        throw HistoryDatabaseError(HistoryDatabaseError::Kind::Unusable,
                                   QStringLiteral("no write-ahead log"));
    }
    exec(database, QStringLiteral("PRAGMA synchronous=NORMAL"));
}

void UsageHistoryDatabase::migrate() {
    QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
    const int version = schemaVersion();
    if (version > kSchemaVersion) {
        throw HistoryDatabaseError(HistoryDatabaseError::Kind::NewerVersion,
                                   QStringLiteral("schema version %1").arg(version));
    }
    for (int step = version; step < kSchemaVersion; ++step) {
        database.transaction();
        try {
            for (const QString& statement :
                 QString::fromLatin1(kMigrations[step]).split(u';', Qt::SkipEmptyParts)) {
                exec(database, statement);
            }
            exec(database, QStringLiteral("PRAGMA user_version=%1").arg(step + 1));
        } catch (...) {
            database.rollback();
            throw;
        }
        if (!database.commit()) {
            fail(database.lastError());
        }
    }
}

void UsageHistoryDatabase::append(const std::vector<HistoryRow>& rows) {
    QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
    if (!database.transaction()) {
        fail(database.lastError());
    }
    try {
        QSqlQuery query(database);
        query.prepare(QStringLiteral(
            "INSERT INTO samples (time, provider, window_seconds, used_percent, reset_date, "
            "source, changed) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        for (const HistoryRow& row : rows) {
            query.addBindValue(row.time.secondsSince2001());
            query.addBindValue(QString::fromStdString(row.provider));
            query.addBindValue(qint64(row.windowSeconds));
            query.addBindValue(qint64(row.usedPercent));
            query.addBindValue(row.resetDate.secondsSince2001());
            query.addBindValue(QString::fromUtf8(rawValue(row.source)));
            query.addBindValue(row.changed ? 1 : 0);
            exec(query);
        }
    } catch (...) {
        database.rollback();
        throw;
    }
    if (!database.commit()) {
        const QSqlError error = database.lastError();
        database.rollback();
        fail(error);
    }
}

int UsageHistoryDatabase::prune(Timestamp before) {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("DELETE FROM samples WHERE time < ?"));
    query.addBindValue(before.secondsSince2001());
    exec(query);
    return query.numRowsAffected();
}

std::vector<HistoryRow> UsageHistoryDatabase::rows(
    Timestamp since, const std::optional<std::string>& provider) const {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    // Two forms, so that each reads along an index of its own.
    const QString columns = QStringLiteral(
        "SELECT time, provider, window_seconds, used_percent, reset_date, source, changed "
        "FROM samples ");
    if (provider) {
        query.prepare(columns + QStringLiteral("WHERE provider = ? AND time >= ? ORDER BY time"));
        query.addBindValue(QString::fromStdString(*provider));
    } else {
        query.prepare(columns + QStringLiteral("WHERE time >= ? ORDER BY time"));
    }
    query.addBindValue(since.secondsSince2001());
    exec(query);
    std::vector<HistoryRow> result;
    while (query.next()) {
        result.push_back({
            .time = Timestamp(query.value(0).toDouble()),
            .provider = query.value(1).toString().toStdString(),
            .windowSeconds = query.value(2).toLongLong(),
            .usedPercent = query.value(3).toLongLong(),
            .resetDate = Timestamp(query.value(4).toDouble()),
            .source = usageSourceFromRawValue(query.value(5).toString().toStdString())
                          .value_or(UsageSource::SyncedFromDesktop),
            .changed = query.value(6).toInt() != 0,
        });
    }
    return result;
}

std::vector<UsageSample> UsageHistoryDatabase::samples(const std::string& provider,
                                                       std::int64_t windowSeconds,
                                                       Timestamp since) const {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT time, used_percent, reset_date FROM samples "
                       "WHERE provider = ? AND window_seconds = ? AND time >= ? ORDER BY id"));
    query.addBindValue(QString::fromStdString(provider));
    query.addBindValue(qint64(windowSeconds));
    query.addBindValue(since.secondsSince2001());
    exec(query);
    std::vector<UsageSample> result;
    while (query.next()) {
        result.push_back({Timestamp(query.value(0).toDouble()), query.value(1).toLongLong(),
                          Timestamp(query.value(2).toDouble())});
    }
    return result;
}

PaceForecasts UsageHistoryDatabase::forecasts(const AgentUsageSnapshot& snapshot,
                                              Timestamp now) const {
    PaceForecasts result;
    const Timestamp since = now - PaceForecast::kRecentSeconds;
    for (const AgentUsage& usage : snapshot.usages) {
        for (const UsageWindow& window : usage.windows) {
            const std::vector<UsageSample> recent =
                samples(usage.provider.rawValue, window.durationSeconds, since);
            if (auto forecast = PaceForecast::estimate(recent, window, now)) {
                result.forecasts.emplace(std::pair(usage.provider.rawValue, window.durationSeconds),
                                         *forecast);
            }
        }
    }
    return result;
}
