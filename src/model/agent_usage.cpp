#include "agent_usage.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>

std::optional<UsageWindow> AgentUsage::preferredWindow() const {
    if (windows.empty()) {
        return std::nullopt;
    }
    // max_element keeps the first of equal elements, as the list order decides ties.
    return *std::max_element(windows.begin(), windows.end(), [](const auto& a, const auto& b) {
        return a.durationSeconds < b.durationSeconds;
    });
}

bool AgentUsage::isSameReading(const AgentUsage& other) const {
    return windows == other.windows && agentName == other.agentName && planType == other.planType &&
           source == other.source;
}

std::optional<UsageWindow> AgentUsage::window(std::int64_t durationSeconds) const {
    const auto found = std::find_if(windows.begin(), windows.end(), [&](const auto& candidate) {
        return candidate.durationSeconds == durationSeconds;
    });
    if (found == windows.end()) {
        return std::nullopt;
    }
    return *found;
}

std::optional<QString> AgentUsage::displayPlanName() const {
    const QString plan = QString::fromStdString(planType).trimmed();
    if (plan.isEmpty() || plan.toLower() == QStringLiteral("unknown") ||
        plan.compare(QString::fromStdString(agentName), Qt::CaseInsensitive) == 0) {
        return std::nullopt;
    }
    QStringList words = plan.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString& word : words) {
        // The first character may be a surrogate pair.
        const qsizetype firstLength = word.front().isHighSurrogate() && word.size() > 1 ? 2 : 1;
        const QString first = word.left(firstLength);
        const bool numeric = firstLength == 2
                                 ? QChar::isNumber(QChar::surrogateToUcs4(word[0], word[1]))
                                 : word.front().isNumber();
        word = numeric ? word.toLower() : first.toUpper() + word.mid(firstLength);
    }
    return words.join(QLatin1Char(' '));
}

std::vector<UsageActivitySample> AgentUsage::activitySamples() const {
    std::vector<UsageActivitySample> samples;
    samples.reserve(windows.size());
    for (const UsageWindow& window : windows) {
        samples.push_back({window.durationSeconds, window.usedPercent, window.resetDate});
    }
    return samples;
}

AgentUsage AgentUsage::placeholder(Timestamp now) {
    return AgentUsage{
        .windows = {{.usedPercent = 2,
                     .durationSeconds = UsageWindow::kWeeklySeconds,
                     .resetDate = now + 597600.0}},
        .provider = {"preview-agent"},
        .agentName = QCoreApplication::translate("AgentUsage", "Agent").toStdString(),
        .planType = "plus",
        .updatedAt = now,
        .source = UsageSource::Preview,
    };
}

AgentUsage AgentUsage::secondaryPlaceholder(Timestamp now) {
    return AgentUsage{
        .windows = {{.usedPercent = 24,
                     .durationSeconds = UsageWindow::kFiveHourSeconds,
                     .resetDate = now + 12600.0},
                    {.usedPercent = 41,
                     .durationSeconds = UsageWindow::kWeeklySeconds,
                     .resetDate = now + 345600.0}},
        .provider = {"preview-agent-secondary"},
        .agentName = QCoreApplication::translate("AgentUsage", "Second Agent").toStdString(),
        .planType = "pro",
        .updatedAt = now,
        .source = UsageSource::Preview,
    };
}

const AgentUsage& AgentUsage::placeholder() {
    static const AgentUsage usage = placeholder(Timestamp::now());
    return usage;
}

const AgentUsage& AgentUsage::secondaryPlaceholder() {
    static const AgentUsage usage = secondaryPlaceholder(Timestamp::now());
    return usage;
}
