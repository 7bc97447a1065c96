#pragma once

// Where the overlay panel goes, as a pure function of sizes, so it is tested without a display.
// Everything is in top-left screen coordinates (y grows downwards).

#include <optional>
#include <vector>

#include "core/platform/geometry.h"

namespace wrenfold {

struct OverlayPlacement {
  static constexpr double kAnchorGap = 8;    // between the panel and the field it serves
  static constexpr double kSideMargin = 12;  // kept free at the left and right of the screen

  // The panel's top-left corner: its top edge 8 below the anchor's bottom edge; when it does not
  // fit there, its bottom edge 8 above the anchor's top edge. When it fits neither way (a field
  // filling its window), beside the anchor (right, else left, 8 away, centred on it), else along
  // the bottom of `visibleArea`: never over the field's top lines. Its left edge follows the
  // anchor's, kept 12 inside the visible area (the right margin wins when both cannot hold, but
  // the left edge stays inside). Without an anchor the panel is placed against a one-point
  // anchor sitting just above the centre of `visibleArea`, at worst at its top. The result stays
  // inside `visibleArea` wherever the panel fits in it, and at its top-left corner otherwise.
  [[nodiscard]] static Point origin(Size panel, Rect visibleArea, std::optional<Rect> anchor);

  // Against the caret's line (or the selection's bounds): below it, else above it, else beside
  // it, as above, so the caret and the text before it stay visible. Only when not even that fits
  // does the panel go where `origin` puts it.
  [[nodiscard]] static Point originAtCaret(Size panel, Rect visibleArea, Rect caret);

  // A screen and the ratio of its device pixels to the logical ones windows are placed in.
  // Qt keeps a scaled screen's top-left corner at its device position and scales from there.
  struct Screen {
    Rect logical;
    double devicePixelRatio = 1;
  };
  // A rectangle in device pixels (how accessibility and X11 report them) in logical pixels,
  // scaled about the corner of the screen whose device area holds its centre; unchanged when
  // no screen holds it.
  [[nodiscard]] static Rect logicalFromDevice(Rect device, const std::vector<Screen>& screens);
};

}  // namespace wrenfold
