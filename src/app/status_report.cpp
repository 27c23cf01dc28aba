#include "status_report.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <nlohmann/json.hpp>

namespace {

constexpr std::int64_t kWarningPercent = 25;
constexpr std::int64_t kCriticalPercent = 10;

QString agentTitle(const AgentUsage& usage) {
    const QString name = QString::fromStdString(usage.agentName);
    const std::optional<QString> plan = usage.displayPlanName();
    return plan ? name + QStringLiteral(" · ") + *plan : name;
}

// Windows past their reset are left out: their percentage is no longer current.
std::optional<std::int64_t> lowestRemaining(const AgentUsage& usage, Timestamp now) {
    std::optional<std::int64_t> lowest;
    for (const UsageWindow& window : usage.windows) {
        if (const std::optional<std::int64_t> remaining = window.currentRemainingPercent(now)) {
            lowest = std::min(lowest.value_or(100), *remaining);
        }
    }
    return lowest;
}

}  // namespace

namespace StatusReport {

QString lines(const AgentUsageSnapshot& snapshot, Timestamp now, const PaceForecasts& forecasts) {
    QStringList result;
    for (const AgentUsage& usage : snapshot.usages) {
        if (usage.windows.empty()) {
            result << agentTitle(usage) + QStringLiteral(" · ") +
                          QCoreApplication::translate("StatusReport", "Waiting for limits");
            continue;
        }
        for (const UsageWindow& window : usage.windows) {
            const QString title = agentTitle(usage) + QStringLiteral(" · ") +
                                  UsageWindow::periodLabel(window.durationSeconds);
            const std::optional<std::int64_t> remaining = window.currentRemainingPercent(now);
            if (!remaining) {
                result << title + QStringLiteral(" · ") + UsageWindow::resetCheckingText();
                continue;
            }
            QString line = QStringLiteral("%1 · %2 · %3")
                               .arg(title,
                                    QCoreApplication::translate("StatusReport", "%1% remaining")
                                        .arg(*remaining),
                                    window.resetText(now));
            if (const auto forecast = forecasts.textFor(usage.provider.rawValue, window, now)) {
                line += QStringLiteral(" · ") + *forecast;
            }
            result << line;
        }
    }
    return result.join(QLatin1Char('\n'));
}

QByteArray waybar(const AgentUsageSnapshot& snapshot, Timestamp now,
                  const PaceForecasts& forecasts) {
    QStringList parts;
    std::optional<std::int64_t> lowest;
    for (const AgentUsage& usage : snapshot.usages) {
        if (const std::optional<std::int64_t> remaining = lowestRemaining(usage, now)) {
            parts << QStringLiteral("%1 %2%")
                         .arg(QString::fromStdString(usage.agentName))
                         .arg(*remaining);
            lowest = std::min(lowest.value_or(100), *remaining);
        }
    }
    std::string cssClass;
    if (lowest) {
        cssClass = *lowest <= kCriticalPercent  ? "critical"
                   : *lowest <= kWarningPercent ? "warning"
                                                : "normal";
    }
    nlohmann::ordered_json object;
    object["text"] = parts.join(QStringLiteral(" · ")).toStdString();
    object["tooltip"] = lines(snapshot, now, forecasts).toStdString();
    object["class"] = cssClass;
    object["percentage"] = lowest.value_or(0);
    return QByteArray::fromStdString(object.dump());
}

}  // namespace StatusReport
