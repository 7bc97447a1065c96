#pragma once

#include <optional>

#include "core/overlay/overlay_view_model.h"
#include "core/platform/geometry.h"

namespace wrenfold {

// The floating panel as the cycle drives it. The desktop implements it with a
// non-activating tool window; tests record the calls.
class OverlayWindow {
 public:
  OverlayWindow() = default;
  virtual ~OverlayWindow() = default;
  OverlayWindow(const OverlayWindow&) = delete;
  OverlayWindow& operator=(const OverlayWindow&) = delete;

  [[nodiscard]] virtual OverlayViewModel& model() = 0;
  // Shows the panel without taking keyboard focus: beside `anchor` (a field or window frame in
  // top-left screen coordinates), or centred on the screen when there is none.
  virtual void show(std::optional<Rect> anchor) = 0;
  // Shows the panel beside the line being written (the caret's or the selection's bounds):
  // below it, else above it, else beside it, never over it.
  virtual void showAtCaret(Rect caret) { show(caret); }
  // Gives the panel its full size; a hidden panel stays hidden (focusPanel brings it back).
  virtual void ensureSize() = 0;
  // Shows the panel and makes it the key window so its keys work. A text field of the panel
  // the user is typing in keeps the keyboard.
  virtual void focusPanel() = 0;
  // Hides the panel.
  virtual void close() = 0;
};

}  // namespace wrenfold
