#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <cstdint>
#include <optional>

#include "model/agent_usage.h"

class QPainter;

// The tray icon: one agent's remaining allowance as one or two horizontal capsules on an
// 18 × 18-point square. Only the alpha of what is drawn carries meaning; everything is drawn in
// one colour, the panel's text colour, so the icon reads on light and dark panels alike.
namespace MenuBarLimitIconRenderer {

inline constexpr double kSizePoints = 18;

// The icon for `usage` at `now` (none: an empty outline; a window past its reset: its capsule
// without fill). The returned icon draws itself on demand at whatever size and device pixel
// ratio the tray asks for, so it stays sharp everywhere.
QIcon image(const std::optional<AgentUsage>& usage, const QColor& color, Timestamp now);

// Draws the icon onto the 18 × 18-point square at the painter's origin (y grows downwards).
void draw(QPainter& painter, const std::optional<AgentUsage>& usage, const QColor& color,
          Timestamp now);

// One capsule on `rect`: the track at 20 % opacity, the remaining part from the left at full
// opacity, the outline at 50 % opacity and 1 point wide. No percent draws track and outline only.
void drawBar(QPainter& painter, const QRectF& rect, std::optional<std::int64_t> remainingPercent,
             const QColor& color);

}  // namespace MenuBarLimitIconRenderer
