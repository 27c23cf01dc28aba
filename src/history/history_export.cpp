#include "history_export.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "model/usage_window.h"

namespace {

QString utc(Timestamp time) {
    return time.toDateTime().toUTC().toString(Qt::ISODate);
}

QString local(Timestamp time) {
    return time.toDateTime().toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

}  // namespace

namespace HistoryExport {

std::optional<double> parseSince(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^([1-9][0-9]{0,4})([mhd])$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const double unit = match.captured(2) == u"m" ? 60 : match.captured(2) == u"h" ? 3600 : 86400;
    return match.captured(1).toDouble() * unit;
}

QByteArray csv(const std::vector<HistoryRow>& rows) {
    QByteArray out = "time,agent,window_seconds,used_percent,reset_at,source,changed\n";
    for (const HistoryRow& row : rows) {
        // Provider names are open-ended: quoted, as CSV quotes, so a comma stays in its field.
        QString provider = QString::fromStdString(row.provider);
        provider.replace(u'"', QStringLiteral("\"\""));
        out += QStringLiteral("%1,\"%2\",%3,%4,%5,%6,%7\n")
                   .arg(utc(row.time), provider)
                   .arg(row.windowSeconds)
                   .arg(row.usedPercent)
                   .arg(utc(row.resetDate), QString::fromUtf8(rawValue(row.source)),
                        row.changed ? QStringLiteral("1") : QStringLiteral("0"))
                   .toUtf8();
    }
    return out;
}

QByteArray json(const std::vector<HistoryRow>& rows) {
    QJsonArray array;
    for (const HistoryRow& row : rows) {
        array.append(QJsonObject{
            {QStringLiteral("time"), utc(row.time)},
            {QStringLiteral("agent"), QString::fromStdString(row.provider)},
            {QStringLiteral("windowSeconds"), qint64(row.windowSeconds)},
            {QStringLiteral("usedPercent"), qint64(row.usedPercent)},
            {QStringLiteral("resetAt"), utc(row.resetDate)},
            {QStringLiteral("source"), QString::fromUtf8(rawValue(row.source))},
            {QStringLiteral("changed"), row.changed},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QString lines(const std::vector<HistoryRow>& rows) {
    QStringList out;
    for (const HistoryRow& row : rows) {
        //: One line of `quotamind history`: the time, the agent, the window, the used percent and
        //: the reset time.
        out.append(QCoreApplication::translate("HistoryExport", "%1  %2  %3  %4% used  resets %5")
                       .arg(local(row.time), QString::fromStdString(row.provider),
                            UsageWindow::periodLabel(row.windowSeconds))
                       .arg(row.usedPercent)
                       .arg(local(row.resetDate)));
    }
    return out.join(u'\n');
}

QByteArray forecastsJson(const PaceForecasts& forecasts, Timestamp now) {
    QJsonObject agents;
    for (const auto& [key, forecast] : forecasts.forecasts) {
        const QString agent = QString::fromStdString(key.first);
        QJsonObject windows = agents.value(agent).toObject();
        windows.insert(
            QString::number(key.second),
            QJsonObject{{QStringLiteral("resetAt"), utc(forecast.resetDate)},
                        {QStringLiteral("limitAt"),
                         forecast.limitAt ? QJsonValue(utc(*forecast.limitAt)) : QJsonValue()},
                        {QStringLiteral("text"), forecast.text(now)}});
        agents.insert(agent, windows);
    }
    return QJsonDocument(agents).toJson(QJsonDocument::Compact);
}

}  // namespace HistoryExport
