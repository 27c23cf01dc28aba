#pragma once

#include <QColor>
#include <QString>
#include <optional>

#include "core/timestamp.h"
#include "model/agent_usage.h"

class QPainter;
class QRectF;

// The text layer of a limit meter card: header (symbol, agent, plan, period badge), the remaining
// percent, "remaining" and the reset line, or the waiting block when there is no window. Once the
// window is past its reset at the time of painting, an activity indicator stands in place of the
// percentage and the reset line says "Reset · checking…". It
// draws everything in one colour, so the card can draw it twice: over the base and, clipped, over
// the fill.
//
// Type sizes are the desktop type scale in device-independent pixels: headline 13 (bold or
// semibold), subheadline 11, callout 12, caption 10, title 22, title 3 15; the remaining percent
// 54 (compact) or 72.
struct LimitMeterForeground {
    AgentUsage usage;
    std::optional<UsageWindow> window;
    QColor foregroundColor;
    double contentPadding = 14;
    double topInset = 0;
    bool compact = true;
    bool showsAgentName = true;
    bool showsPlanName = true;

    // Lays the layer out in `bounds` and paints it. `now` is the instant of the reset line;
    // `spinnerPhase` (0-7) the step of the waiting block's activity indicator.
    void paint(QPainter& painter, const QRectF& bounds, Timestamp now, int spinnerPhase) const;

    // The remaining percent in the locale's digits.
    static QString percentText(std::int64_t remainingPercent);
    // The card's one accessible text: "Codex 5H limit. 42 percent remaining. Resets in 2h 5m."
    // with a window, "Codex 5H limit. Reset, checking the new allowance." past its reset, "Codex
    // limit is unavailable." without one.
    static QString accessibleLabel(const AgentUsage& usage,
                                   const std::optional<UsageWindow>& window, Timestamp now);
};
