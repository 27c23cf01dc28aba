#include "popover_placement.h"

#include <algorithm>

namespace PopoverPlacement {

QPoint topLeft(QSize popover, QRect anchor, QRect available) {
    int x = anchor.center().x() - popover.width() / 2;
    int y = anchor.bottom() + 1 + kGap;
    if (y + popover.height() > available.bottom() + 1) {
        y = anchor.top() - kGap - popover.height();
    }
    // Clamp to the far edge first, so a popover larger than the screen keeps its top-left in view.
    x = std::max(std::min(x, available.right() + 1 - popover.width()), available.left());
    y = std::max(std::min(y, available.bottom() + 1 - popover.height()), available.top());
    return {x, y};
}

}  // namespace PopoverPlacement
