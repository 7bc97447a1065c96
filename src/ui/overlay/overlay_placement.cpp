#include "ui/overlay/overlay_placement.h"

#include <algorithm>

namespace wrenfold {

Point OverlayPlacement::origin(Size panel, Rect visibleArea, std::optional<Rect> anchor) {
  const double midX = visibleArea.x + visibleArea.width / 2;
  const double midY = visibleArea.y + visibleArea.height / 2;
  // The point anchor's bottom edge is the centre line: the panel's top then sits 8 below the
  // centre, or its bottom 9 above it.
  const Rect a = anchor.value_or(Rect{midX, midY - 1, 1, 1});

  double y = a.y + a.height + kAnchorGap;
  if (y + panel.height > visibleArea.y + visibleArea.height) {
    y = std::max(a.y - kAnchorGap - panel.height, visibleArea.y);
  }
  double x = std::max(a.x, visibleArea.x + kSideMargin);
  x = std::min(x, visibleArea.x + visibleArea.width - panel.width - kSideMargin);
  return {x, y};
}

}  // namespace wrenfold
