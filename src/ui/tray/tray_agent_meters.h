#pragma once

#include <QWidget>
#include <vector>

#include "model/agent_usage.h"
#include "model/pace_forecast.h"

class Clock;
class QHBoxLayout;
class QLabel;
class LimitMeterView;

// One agent in the popup: a 5-hour and a weekly card side by side (squareSize × squareSize
// each, `spacing` apart) when the usage has both windows, otherwise one card as wide as the two
// showing the usage's longest window. Under each card, its window's pace forecast when there is
// one.
class TrayAgentMeters final : public QWidget {
    Q_OBJECT

public:
    // `clock` must outlive the widget.
    TrayAgentMeters(const Clock& clock, int squareSize, int spacing, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TrayAgentMeters)

    const AgentUsage& usage() const { return m_usage; }
    void setUsage(const AgentUsage& usage, const PaceForecasts& forecasts = {});

    const std::vector<LimitMeterView*>& cards() const { return m_cards; }
    // One per card; hidden where its window has no forecast.
    const std::vector<QLabel*>& forecastLabels() const { return m_forecastLabels; }

private:
    static bool showsPair(const AgentUsage& usage);

    const Clock& m_clock;
    int m_squareSize;
    int m_spacing;
    AgentUsage m_usage;
    QHBoxLayout* m_cardRow;
    QHBoxLayout* m_forecastRow;
    std::vector<LimitMeterView*> m_cards;
    std::vector<QLabel*> m_forecastLabels;
};
