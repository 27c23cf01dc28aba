#pragma once

#include <QWidget>
#include <vector>

#include "model/agent_usage.h"

class Clock;
class LimitMeterView;

// One agent in the popup: a 5-hour and a weekly card side by side (squareSize × squareSize
// each, `spacing` apart) when the usage has both windows, otherwise one card as wide as the two
// showing the usage's longest window.
class TrayAgentMeters final : public QWidget {
    Q_OBJECT

public:
    // `clock` must outlive the widget.
    TrayAgentMeters(const Clock& clock, int squareSize, int spacing, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TrayAgentMeters)

    const AgentUsage& usage() const { return m_usage; }
    void setUsage(const AgentUsage& usage);

    const std::vector<LimitMeterView*>& cards() const { return m_cards; }

private:
    static bool showsPair(const AgentUsage& usage);

    const Clock& m_clock;
    int m_squareSize;
    int m_spacing;
    AgentUsage m_usage;
    std::vector<LimitMeterView*> m_cards;
};
