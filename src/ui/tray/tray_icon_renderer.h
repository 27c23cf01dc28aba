#pragma once

#include <QIcon>
#include <QRectF>
#include <cstdint>
#include <optional>

#include "model/agent_usage.h"
#include "ui/tray/tray_icon_appearance.h"

class QPainter;

// The tray icon: one agent's remaining allowance as one or two horizontal capsules on an
// 18 × 18-point square, in the colours of one of TrayIconAppearance's drawings.
namespace TrayIconRenderer {

inline constexpr double kSizePoints = 18;

// The icon for `usage` at `now` (none: an empty outline; a window past its reset: its capsule
// without fill). The returned icon draws itself on demand at whatever size and device pixel
// ratio the tray asks for, so it stays sharp everywhere.
QIcon image(const std::optional<AgentUsage>& usage, const TrayIconAppearance::Colors& colors,
            Timestamp now);

// Draws the icon onto the 18 × 18-point square at the painter's origin (y grows downwards).
void draw(QPainter& painter, const std::optional<AgentUsage>& usage,
          const TrayIconAppearance::Colors& colors, Timestamp now);

// One capsule on `rect`: the track, the remaining part from the left in the fill colour ending
// in a 1-point line in the edge colour, and the 1-point outline in the edge colour. No percent
// draws track and outline only.
void drawBar(QPainter& painter, const QRectF& rect, std::optional<std::int64_t> remainingPercent,
             const TrayIconAppearance::Colors& colors);

}  // namespace TrayIconRenderer
