#include "history_command.h"

#include <QCoreApplication>
#include <cstdio>

#include "history/history_export.h"
#include "history/usage_history.h"
#include "model/shared_snapshot_store.h"

namespace {

int print(FILE* stream, const QByteArray& text, int status) {
    const QByteArray line = text.endsWith('\n') || text.isEmpty() ? text : text + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stream);
    return status;
}

}  // namespace

namespace HistoryCommand {

void addOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("since"),
         QCoreApplication::translate(
             "HistoryCommand", "With history: how far back, such as 90m, 24h or 7d (default 7d)."),
         QStringLiteral("time"), QStringLiteral("7d")},
        {QStringLiteral("agent"),
         QCoreApplication::translate("HistoryCommand",
                                     "With history: only this agent (codex or claude)."),
         QStringLiteral("agent")},
        {QStringLiteral("csv"),
         QCoreApplication::translate("HistoryCommand",
                                     "With history: print comma-separated values.")},
        {QStringLiteral("forecast"),
         QCoreApplication::translate(
             "HistoryCommand",
             "With history: print the pace forecasts of the stored limits instead.")},
    });
}

int run(const QCommandLineParser& parser) {
    const std::optional<double> since =
        HistoryExport::parseSince(parser.value(QStringLiteral("since")));
    if (!since) {
        return print(stderr,
                     QCoreApplication::translate("HistoryCommand",
                                                 "--since takes a time such as 90m, 24h or 7d.")
                         .toUtf8(),
                     2);
    }
    std::optional<std::string> agent;
    if (parser.isSet(QStringLiteral("agent"))) {
        agent = parser.value(QStringLiteral("agent")).toStdString();
        if (*agent != AgentProvider::codex().rawValue &&
            *agent != AgentProvider::claude().rawValue) {
            return print(
                stderr,
                QCoreApplication::translate("HistoryCommand", "--agent takes codex or claude.")
                    .toUtf8(),
                2);
        }
    }
    UsageHistoryDatabase database(UsageHistory::defaultPath());
    const Timestamp now = Timestamp::now();
    try {
        database.openForReading();
        if (parser.isSet(QStringLiteral("forecast"))) {
            const AgentUsageSnapshot snapshot =
                SharedSnapshotStore::loadSnapshot().value_or(AgentUsageSnapshot());
            const PaceForecasts forecasts = database.forecasts(snapshot, now);
            if (parser.isSet(QStringLiteral("json"))) {
                return print(stdout, HistoryExport::forecastsJson(forecasts, now), 0);
            }
            QStringList lines;
            for (const auto& [key, forecast] : forecasts.forecasts) {
                lines.append(QStringLiteral("%1 · %2 · %3")
                                 .arg(QString::fromStdString(key.first),
                                      UsageWindow::periodLabel(key.second), forecast.text(now)));
            }
            return print(stdout, lines.join(u'\n').toUtf8(), 0);
        }
        const std::vector<HistoryRow> rows = database.rows(now - *since, agent);
        if (parser.isSet(QStringLiteral("json"))) {
            return print(stdout, HistoryExport::json(rows), 0);
        }
        if (parser.isSet(QStringLiteral("csv"))) {
            return print(stdout, HistoryExport::csv(rows), 0);
        }
        return print(stdout, HistoryExport::lines(rows).toUtf8(), 0);
    } catch (const HistoryDatabaseError& error) {
        if (error.kind() == HistoryDatabaseError::Kind::Failed && !database.isOpen()) {
            return print(stderr,
                         QCoreApplication::translate(
                             "HistoryCommand",
                             "No usage history is kept yet. Start Quotamind (quotamind "
                             "--headless) and try again once it has read the limits.")
                             .toUtf8(),
                         1);
        }
        return print(stderr, error.errorString().toUtf8(), 1);
    }
}

}  // namespace HistoryCommand
