#include "tray_agent_meters.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/clock.h"
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
    : QWidget(parent),
      m_clock(clock),
      m_squareSize(squareSize),
      m_spacing(spacing),
      m_cardRow(new QHBoxLayout()),
      m_forecastRow(new QHBoxLayout()) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    for (QHBoxLayout* row : {m_cardRow, m_forecastRow}) {
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(m_spacing);
        column->addLayout(row);
    }
}

bool TrayAgentMeters::showsPair(const AgentUsage& usage) {
    return usage.window(UsageWindow::kFiveHourSeconds) && usage.window(UsageWindow::kWeeklySeconds);
}

void TrayAgentMeters::setUsage(const AgentUsage& usage, const PaceForecasts& forecasts) {
    const bool pair = showsPair(usage);
    const bool reshaped = m_cards.empty() || pair != showsPair(m_usage);
    m_usage = usage;
    if (reshaped) {
        for (LimitMeterView* card : m_cards) {
            delete card;
        }
        for (QLabel* label : m_forecastLabels) {
            delete label;
        }
        m_cards.clear();
        m_forecastLabels.clear();
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
            m_cardRow->addWidget(card);
            auto* label = new QLabel(this);
            label->setWordWrap(true);
            label->setFixedWidth(card->width());
            label->setForegroundRole(QPalette::PlaceholderText);
            QFont small = label->font();
            small.setPixelSize(11);
            label->setFont(small);
            m_forecastRow->addWidget(label, 0, Qt::AlignTop);
            m_forecastLabels.push_back(label);
        }
    }
    // Existing cards keep their state, so a changed percent animates the fill.
    for (std::size_t index = 0; index < m_cards.size(); ++index) {
        m_cards[index]->setUsage(usage);
        const std::optional<UsageWindow> window = m_cards[index]->shownWindow();
        const std::optional<QString> text =
            window ? forecasts.textFor(usage.provider.rawValue, *window, m_clock.now())
                   : std::nullopt;
        m_forecastLabels[index]->setText(text.value_or(QString()));
        m_forecastLabels[index]->setVisible(text.has_value());
    }
}
