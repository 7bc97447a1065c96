#pragma once

// Where the overlay panel goes, as a pure function of sizes, so it is tested without a display.
// Everything is in top-left screen coordinates (y grows downwards).

#include <optional>

#include "core/platform/geometry.h"

namespace wrenfold {

struct OverlayPlacement {
  static constexpr double kAnchorGap = 8;    // between the panel and the field it serves
  static constexpr double kSideMargin = 12;  // kept free at the left and right of the screen

  // The panel's top-left corner: its top edge 8 below the anchor's bottom edge; when it does not
  // fit there, its bottom edge 8 above the anchor's top edge, but never above the top of
  // `visibleArea`. Its left edge follows the anchor's, kept 12 inside the visible area (the
  // right margin wins when both cannot hold). Without an anchor the panel is placed against a
  // one-point anchor sitting just above the centre of `visibleArea`.
  [[nodiscard]] static Point origin(Size panel, Rect visibleArea, std::optional<Rect> anchor);
};

}  // namespace wrenfold
