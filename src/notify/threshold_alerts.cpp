#include "threshold_alerts.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "core/json.h"
#include "model/pace_forecast.h"

namespace ThresholdAlerts {

namespace {

bool deliveredFor(const Delivered& delivered, const QString& id, Timestamp resetDate) {
    const auto found = delivered.find(id);
    return found != delivered.end() &&
           std::abs(found->second - resetDate) <= PaceForecast::kSameResetSeconds;
}

}  // namespace

QString identifier(const std::string& provider, std::int64_t windowSeconds, int percent) {
    return QStringLiteral("limit-threshold.v1.%1.%2.%3")
        .arg(QString::fromStdString(provider))
        .arg(windowSeconds)
        .arg(percent);
}

std::vector<Due> due(const AgentUsageSnapshot& snapshot, const std::vector<int>& percents,
                     const Delivered& delivered, Timestamp now) {
    std::vector<Due> result;
    for (const AgentUsage& usage : snapshot.usages) {
        for (const UsageWindow& window : usage.windows) {
            if (window.isPastReset(now)) {
                continue;
            }
            std::optional<int> highest;
            std::vector<QString> reached;
            for (const int percent : percents) {
                const QString id =
                    identifier(usage.provider.rawValue, window.durationSeconds, percent);
                if (window.usedPercent >= percent &&
                    !deliveredFor(delivered, id, window.resetDate)) {
                    highest = std::max(highest.value_or(percent), percent);
                    reached.push_back(id);
                }
            }
            if (!highest) {
                continue;
            }
            const QString provider = QString::fromStdString(usage.provider.rawValue);
            const QString period = UsageWindow::periodLabel(window.durationSeconds);
            result.push_back(
                {.request = {.identifier = identifier(usage.provider.rawValue,
                                                      window.durationSeconds, *highest),
                             .title = QCoreApplication::translate("ThresholdAlerts",
                                                                  "%1 %2 limit at %3%")
                                          .arg(QString::fromStdString(usage.agentName), period)
                                          .arg(window.usedPercent),
                             .body =
                                 QCoreApplication::translate("ThresholdAlerts", "%1% remaining. %2")
                                     .arg(window.remainingPercent())
                                     .arg(window.resetText(now)),
                             .threadIdentifier = QStringLiteral("limit-threshold.") + provider,
                             .userInfo = {{QStringLiteral("provider"), provider},
                                          {QStringLiteral("durationSeconds"),
                                           qint64{window.durationSeconds}},
                                          {QStringLiteral("percent"), *highest}},
                             .fireDate = now},
                 .identifiers = std::move(reached),
                 .resetDate = window.resetDate});
        }
    }
    return result;
}

Delivered withoutPast(Delivered delivered, Timestamp now) {
    std::erase_if(delivered, [now](const auto& entry) { return !(entry.second > now); });
    return delivered;
}

std::optional<std::vector<int>> parsePercents(const QString& text) {
    std::vector<int> percents;
    for (const QString& part : text.split(u',')) {
        bool isNumber = false;
        const int percent = part.trimmed().toInt(&isNumber);
        if (!isNumber || percent < 1 || percent > 100) {
            return std::nullopt;
        }
        percents.push_back(percent);
    }
    std::sort(percents.begin(), percents.end());
    percents.erase(std::unique(percents.begin(), percents.end()), percents.end());
    if (percents.size() > 5) {
        return std::nullopt;
    }
    return percents;
}

QString formatPercents(const std::vector<int>& percents) {
    QStringList parts;
    for (const int percent : percents) {
        parts.append(QString::number(percent));
    }
    return parts.join(QStringLiteral(", "));
}

std::string encode(const Delivered& delivered) {
    json::OrderedValue object = json::OrderedValue::object();
    for (const auto& [id, resetDate] : delivered) {
        object[id.toStdString()] = json::number(resetDate.secondsSince2001());
    }
    return json::dump(object);
}

Delivered decode(std::string_view bytes) {
    Delivered delivered;
    const json::Value value = json::parse(bytes);
    for (const auto& [id, resetDate] : json::requireObject(value, "delivered thresholds").items()) {
        delivered.emplace(QString::fromStdString(id), Timestamp(json::toDouble(resetDate, id)));
    }
    return delivered;
}

}  // namespace ThresholdAlerts
