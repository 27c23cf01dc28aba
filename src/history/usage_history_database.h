#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/timestamp.h"
#include "model/agent_usage_snapshot.h"
#include "model/pace_forecast.h"
#include "model/usage_source.h"

// One window of one agent at one moment, as the history keeps it.
struct HistoryRow {
    Timestamp time;
    std::string provider;
    std::int64_t windowSeconds = 0;
    std::int64_t usedPercent = 0;
    Timestamp resetDate;
    UsageSource source = UsageSource::LocalDesktop;
    // False for a reading that only repeats the last one, kept to show the agent was still read.
    bool changed = true;

    bool operator==(const HistoryRow&) const = default;
};

class HistoryDatabaseError final : public Error {
public:
    enum class Kind {
        Unusable,      // not a database, damaged, or held by another program
        Full,          // the disk is full
        NewerVersion,  // written by a newer Quotamind, left as it is
        Failed,
    };
    HistoryDatabaseError(Kind kind, QString detail) : m_kind(kind), m_detail(std::move(detail)) {}
    Kind kind() const { return m_kind; }
    QString errorString() const override;

private:
    Kind m_kind;
    QString m_detail;
};

// The usage history in one SQLite file (docs/history.md): WAL, a schema version with migrations,
// rows for 90 days. Not thread-safe, and bound to the thread that first uses it (a Qt SQL
// connection is): UsageHistory keeps it on a thread of its own.
class UsageHistoryDatabase final {
public:
    static constexpr int kSchemaVersion = 1;
    static constexpr double kRetentionSeconds = 90 * 86400.0;
    // How long a write waits for a lock another connection holds before it fails.
    static constexpr int kBusyTimeoutMilliseconds = 2000;

    explicit UsageHistoryDatabase(QString path);
    ~UsageHistoryDatabase();
    UsageHistoryDatabase(const UsageHistoryDatabase&) = delete;
    UsageHistoryDatabase& operator=(const UsageHistoryDatabase&) = delete;

    // Opens the file, creating or migrating it. A file that is damaged, not a database or locked
    // is moved aside (to the returned path) and a new one made; a file of a newer schema throws
    // NewerVersion and stays untouched. Other failures throw.
    std::optional<QString> open();
    // Opens an existing file only to read it, as other programs do while the tray program
    // writes: nothing is created, migrated or moved. Throws Failed when there is no file, and
    // NewerVersion for a newer schema.
    void openForReading();
    bool isOpen() const;
    // On the thread that opened it; the destructor closes it too.
    void close();

    // In one transaction; throws Full when the disk is, Failed otherwise.
    void append(const std::vector<HistoryRow>& rows);
    // Removes the rows older than `before`; how many went.
    int prune(Timestamp before);
    // The rows since `since` (of one provider when given), oldest first.
    std::vector<HistoryRow> rows(Timestamp since,
                                 const std::optional<std::string>& provider = std::nullopt) const;
    // One window's samples since `since`, in the order they were recorded.
    std::vector<UsageSample> samples(const std::string& provider, std::int64_t windowSeconds,
                                     Timestamp since) const;
    // The forecast of each window of `snapshot` at `now`, from its samples of the last hour.
    PaceForecasts forecasts(const AgentUsageSnapshot& snapshot, Timestamp now) const;

private:
    void openConnection(bool readOnly);
    int schemaVersion() const;
    void migrate();

    QString m_path;
    QString m_connectionName;
};
