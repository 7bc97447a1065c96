#pragma once

// The synthetic key port over XTest. A chord is never typed while the user still holds a
// modifier (the caller asks again later); terminals get their own paste chord, Ctrl+Shift+V.
// Main thread only.

#include <memory>

#include "core/platform/key_events.h"
#include "platform/linux/x11_connection.h"

namespace wrenfold {

class XTestKeyEvents final : public KeyEvents {
 public:
  // Opens its own connection to $DISPLAY; without one (or without XTest) every post fails.
  XTestKeyEvents();
  explicit XTestKeyEvents(std::unique_ptr<X11Connection> connection);
  ~XTestKeyEvents() override;

  [[nodiscard]] KeyPostResult post(const KeyChord& chord) override;

 private:
  [[nodiscard]] bool userHoldsModifier();
  [[nodiscard]] bool activeWindowIsTerminal();

  std::unique_ptr<X11Connection> x_;
  bool hasXTest_ = false;
};

// The keycode that types `keysym` in the keyboard's active layout group (a key moves between
// layouts: "v" of a Dvorak group is not the key of "v" in a QWERTY one); else the key of the
// first group that has it; 0 when no key does.
[[nodiscard]] KeyCode keycodeInActiveGroup(Display* display, KeySym keysym);

// Whether a WM_CLASS names a terminal emulator, which pastes with Ctrl+Shift+V.
[[nodiscard]] bool isTerminalWindowClass(std::string_view instance, std::string_view windowClass);

}  // namespace wrenfold
