#pragma once

#include <QWidget>
#include <functional>

#include "core/overlay/overlay_view_model.h"

class QKeyEvent;

namespace wrenfold {

class OverlayView;

// The floating window that holds the overlay view: frameless, always on top, a tool window
// that does not take keyboard focus when shown. Every key press it receives goes to
// `onKeyDown` first, before the focused control; a press the callback consumes goes no further.
class OverlayPanel final : public QWidget {
 public:
  explicit OverlayPanel(OverlayViewModel& model);

  [[nodiscard]] OverlayView& view() { return *view_; }
  std::function<bool(const QKeyEvent&)> onKeyDown;

  // Gives up "always on top" and goes behind our other windows, so a window opened from the
  // panel (the settings) is not covered by it; the panel is on top again once it is activated
  // (clicked) or shown for a new cycle.
  void stepBack();
  void stayOnTop();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  OverlayView* view_;
};

}  // namespace wrenfold
