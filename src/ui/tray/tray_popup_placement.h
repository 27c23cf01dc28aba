#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the popup opens. The anchor is the tray icon's rectangle when the tray reports one
// (XEmbed) or a 1 × 1 rectangle at the pointer (StatusNotifierItem, whose activation carries no
// position). The popup hangs below the anchor, horizontally centred on it, or sits above it
// when there is no room below (a panel at the bottom of the screen), and is then moved as little
// as needed to lie inside `available`, the free area of the screen that holds the anchor.
namespace TrayPopupPlacement {

inline constexpr int kGap = 4;

QPoint topLeft(QSize popup, QRect anchor, QRect available);

}  // namespace TrayPopupPlacement
