#include "core/overlay/overlay_placement.h"

#include <algorithm>

namespace wrenfold {
namespace {

// Kept 12 inside the visible area; where it is too narrow for both margins the right one wins,
// but the left edge never leaves the area (the start of every line stays readable).
double clampedX(double x, double width, Rect visible) {
  x = std::max(x, visible.x + OverlayPlacement::kSideMargin);
  x = std::min(x, visible.x + visible.width - width - OverlayPlacement::kSideMargin);
  return std::max(x, visible.x);
}

// The top edge for a panel centred on `centre`, inside the visible area; at its top when the
// area is shorter than the panel.
double clampedY(double centre, double height, Rect visible) {
  const double y = std::min(centre - height / 2, visible.y + visible.height - height);
  return std::max(y, visible.y);
}

// Beside `a` (to its right, else to its left, 8 away), vertically centred on it: absent when the
// visible area has no room on either side.
std::optional<Point> beside(Size panel, Rect visible, Rect a) {
  const double y = clampedY(a.y + a.height / 2, panel.height, visible);
  const double left = visible.x + OverlayPlacement::kSideMargin;
  const double right = visible.x + visible.width - OverlayPlacement::kSideMargin;
  if (const double x = a.x + a.width + OverlayPlacement::kAnchorGap; x + panel.width <= right) {
    return Point{x, y};
  }
  if (const double x = a.x - OverlayPlacement::kAnchorGap - panel.width; x >= left) {
    return Point{x, y};
  }
  return std::nullopt;
}

}  // namespace

Point OverlayPlacement::origin(Size panel, Rect visibleArea, std::optional<Rect> anchor) {
  const double midX = visibleArea.x + visibleArea.width / 2;
  const double midY = visibleArea.y + visibleArea.height / 2;
  // The point anchor's bottom edge is the centre line: the panel's top then sits 8 below the
  // centre, or its bottom 9 above it.
  const Rect a = anchor.value_or(Rect{midX, midY - 1, 1, 1});

  const double bottom = visibleArea.y + visibleArea.height;
  if (const double below = a.y + a.height + kAnchorGap; below + panel.height <= bottom) {
    return {clampedX(a.x, panel.width, visibleArea), below};
  }
  if (const double above = a.y - kAnchorGap - panel.height; above >= visibleArea.y || !anchor) {
    return {clampedX(a.x, panel.width, visibleArea), std::max(above, visibleArea.y)};
  }
  // A field that leaves room neither below nor above (a text area filling its window) with no
  // caret known: the panel covers the least of it beside the field, else along the bottom edge,
  // never over its top lines, where writing usually starts.
  if (const auto side = beside(panel, visibleArea, a)) {
    return *side;
  }
  return {clampedX(a.x, panel.width, visibleArea), std::max(bottom - panel.height, visibleArea.y)};
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
  if (const auto side = beside(panel, visibleArea, caret)) {
    return *side;
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
