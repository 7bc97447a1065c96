#pragma once

// Remembers where keyboard focus went, from AT-SPI events: the cheapest way to the focused
// element, and the only cheap one for Qt and GTK 4, which offer no Collection interface.
// Events arrive through the default GLib main context (run by the Qt event loop); main thread
// only.

#include <atspi/atspi.h>

#include <deque>

#include "platform/linux/atspi_handle.h"

namespace wrenfold {

class FocusTracker {
 public:
  FocusTracker();
  ~FocusTracker();
  FocusTracker(const FocusTracker&) = delete;
  FocusTracker& operator=(const FocusTracker&) = delete;

  // Whether the listeners are registered with the accessibility bus.
  [[nodiscard]] bool isListening() const { return listening_; }
  // The element that last gained focus, as the event said; callers re-check its state.
  [[nodiscard]] AtspiAccessible* lastFocused() const { return lastFocused_.get(); }
  // The elements focused before the last one, the most recent first: after Alt some
  // applications move focus into their menu bar (Firefox through the bar and its first item),
  // and the user still means the field focused before.
  [[nodiscard]] const std::deque<GObjectPtr<AtspiAccessible>>& earlierFocused() const { return earlier_; }
  // The window that was last activated.
  [[nodiscard]] AtspiAccessible* lastActivatedWindow() const { return lastWindow_.get(); }

 private:
  static void onEvent(AtspiEvent* event, void* self);
  void handle(const AtspiEvent& event);

  GObjectPtr<AtspiEventListener> listener_;
  bool listening_ = false;
  GObjectPtr<AtspiAccessible> lastFocused_;
  std::deque<GObjectPtr<AtspiAccessible>> earlier_;
  GObjectPtr<AtspiAccessible> lastWindow_;
};

}  // namespace wrenfold
