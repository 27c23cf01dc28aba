#include "tray_popup_placement.h"

#include <algorithm>

namespace TrayPopupPlacement {

QPoint topLeft(QSize popup, QRect anchor, QRect available) {
    int x = anchor.center().x() - popup.width() / 2;
    int y = anchor.bottom() + 1 + kGap;
    if (y + popup.height() > available.bottom() + 1) {
        y = anchor.top() - kGap - popup.height();
    }
    // Clamp to the far edge first, so a popup larger than the screen keeps its top-left in view.
    x = std::max(std::min(x, available.right() + 1 - popup.width()), available.left());
    y = std::max(std::min(y, available.bottom() + 1 - popup.height()), available.top());
    return {x, y};
}

}  // namespace TrayPopupPlacement
