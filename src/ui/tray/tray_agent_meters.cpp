#include "tray_agent_meters.h"

#include <QHBoxLayout>

#include "ui/common/limit_meter_view.h"

namespace {

constexpr double kCornerRadius = 22;
constexpr double kContentPadding = 14;

LimitMeterOptions cardOptions(std::optional<std::int64_t> durationSeconds, bool showsAgentName,
                              bool showsPlanName) {
    LimitMeterOptions options;
    options.cornerRadius = kCornerRadius;
    options.contentPadding = kContentPadding;
    options.topInset = 0;
    options.durationSeconds = durationSeconds;
    options.compact = true;
    options.drawsChrome = true;
    options.showsAgentName = showsAgentName;
    options.showsPlanName = showsPlanName;
    return options;
}

}  // namespace

TrayAgentMeters::TrayAgentMeters(const Clock& clock, int squareSize, int spacing, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_squareSize(squareSize), m_spacing(spacing) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(m_spacing);
}

bool TrayAgentMeters::showsPair(const AgentUsage& usage) {
    return usage.window(UsageWindow::kFiveHourSeconds) && usage.window(UsageWindow::kWeeklySeconds);
}

void TrayAgentMeters::setUsage(const AgentUsage& usage) {
    const bool pair = showsPair(usage);
    const bool reshaped = m_cards.empty() || pair != showsPair(m_usage);
    m_usage = usage;
    if (reshaped) {
        for (LimitMeterView* card : m_cards) {
            delete card;
        }
        m_cards.clear();
        if (pair) {
            auto* five = new LimitMeterView(m_clock, this);
            five->setOptions(cardOptions(UsageWindow::kFiveHourSeconds, true, false));
            five->setFixedSize(m_squareSize, m_squareSize);
            auto* weekly = new LimitMeterView(m_clock, this);
            weekly->setOptions(cardOptions(UsageWindow::kWeeklySeconds, false, true));
            weekly->setFixedSize(m_squareSize, m_squareSize);
            m_cards = {five, weekly};
        } else {
            auto* single = new LimitMeterView(m_clock, this);
            single->setOptions(cardOptions(std::nullopt, true, true));
            single->setFixedSize(2 * m_squareSize + m_spacing, m_squareSize);
            m_cards = {single};
        }
        for (LimitMeterView* card : m_cards) {
            layout()->addWidget(card);
        }
    }
    // Existing cards keep their state, so a changed percent animates the fill.
    for (LimitMeterView* card : m_cards) {
        card->setUsage(usage);
    }
}
