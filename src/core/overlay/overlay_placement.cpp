#include "core/overlay/overlay_placement.h"

#include <algorithm>

namespace wrenfold {
namespace {

// A panel wider or taller than the area (a small screen at a large scale) keeps its left or
// top edge, with the header and the first candidates, in view.
double clampedX(double x, double width, Rect visible) {
  x = std::min(x, visible.x + visible.width - width - OverlayPlacement::kSideMargin);
  return std::max(x, visible.x + OverlayPlacement::kSideMargin);
}

}  // namespace

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
  return {clampedX(a.x, panel.width, visibleArea), y};
}

Point OverlayPlacement::originAtCaret(Size panel, Rect visibleArea, Rect caret) {
  const double top = visibleArea.y;
  const double bottom = visibleArea.y + visibleArea.height;
  if (const double below = caret.y + caret.height + kAnchorGap; below + panel.height <= bottom) {
    return {clampedX(caret.x, panel.width, visibleArea), below};
  }
  if (const double above = caret.y - kAnchorGap - panel.height; above >= top) {
    return {clampedX(caret.x, panel.width, visibleArea), above};
  }
  const double y =
      std::max(std::min(caret.y + caret.height / 2 - panel.height / 2, bottom - panel.height), top);
  const double left = visibleArea.x + kSideMargin;
  const double right = visibleArea.x + visibleArea.width - kSideMargin;
  if (const double x = caret.x + caret.width + kAnchorGap; x + panel.width <= right) {
    return {x, y};
  }
  if (const double x = caret.x - kAnchorGap - panel.width; x >= left) {
    return {x, y};
  }
  return origin(panel, visibleArea, caret);
}

Rect OverlayPlacement::logicalFromDevice(Rect device, const std::vector<Screen>& screens) {
  const double centreX = device.x + device.width / 2;
  const double centreY = device.y + device.height / 2;
  for (const Screen& screen : screens) {
    const double ratio = screen.devicePixelRatio > 0 ? screen.devicePixelRatio : 1;
    const Rect& s = screen.logical;
    if (centreX >= s.x && centreX < s.x + s.width * ratio && centreY >= s.y &&
        centreY < s.y + s.height * ratio) {
      return {s.x + (device.x - s.x) / ratio, s.y + (device.y - s.y) / ratio, device.width / ratio,
              device.height / ratio};
    }
  }
  return device;
}

}  // namespace wrenfold
