#pragma once

#include <QRect>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/overlay/overlay_window.h"
#include "core/templates/prompt_template.h"
#include "ui/overlay/overlay_key_handler.h"

class QKeyEvent;

namespace wrenfold {

class OverlayPanel;

// Owns the overlay's view model and its floating panel: creates the panel on the first `show`,
// places it beside the field being assisted, shows it without taking focus from the user's
// application, and routes the panel's keys to the view model. Main thread only.
class OverlayWindowController final : public OverlayWindow {
 public:
  explicit OverlayWindowController(std::vector<PromptTemplate> templates);
  ~OverlayWindowController() override;

  [[nodiscard]] OverlayViewModel& model() override { return model_; }
  void show(std::optional<Rect> anchor) override;
  void showAtCaret(Rect caret) override;
  // Restores the panel's 560 x 540 if something changed it; does not show a hidden panel.
  void ensureSize() override;
  void focusPanel() override;
  void close() override;

  // Lets the settings window, opened while the panel shows, come in front of it; the panel
  // floats on top again once the user activates it or a new cycle shows it.
  void stepBack();

  // Asked for by the error view's "打开设置"; the application wires it to the settings window.
  std::function<void()> onOpenSettings;

  // Under Wayland the panel's window goes only once the current event has been handled.
  void hideAfterThisTurn() { hideAfterThisTurn_ = true; }

  // Null until the first `show`.
  [[nodiscard]] OverlayPanel* panel() const { return panel_.get(); }
  [[nodiscard]] const std::optional<Rect>& lastAnchor() const { return lastAnchor_; }

 private:
  void createPanel();
  void present();
  using Clock = std::chrono::steady_clock;
  void activateOnceKeysAreUp(std::uint64_t request, Clock::time_point asked);
  void position(const std::optional<Rect>& anchor, bool atCaret);
  [[nodiscard]] bool handleKeyDown(const QKeyEvent& event);

  OverlayViewModel model_;
  bool hideAfterThisTurn_ = false;
  std::uint64_t presentations_ = 0;
  std::uint64_t activationRequests_ = 0;  // a newer request or a close drops a waiting one
  Clock::time_point shownAt_;
  Clock::time_point keysLastHeld_;
  OverlayKeyHandler keys_;
  std::optional<Rect> lastAnchor_;
  std::unique_ptr<OverlayPanel> panel_;  // declared last: destroyed first, while the model lives
};

// The usable area of the screen that holds `anchor` (else the one under the pointer, else the
// primary screen), without panels and docks; a zero rectangle when there is no screen.
// Logical pixels, like `anchor`.
[[nodiscard]] Rect availableScreenArea(const std::optional<Rect>& anchor);
// A rectangle in the device pixels other programs report, in the logical pixels of Qt's screens.
[[nodiscard]] Rect logicalScreenRect(Rect device);

}  // namespace wrenfold
