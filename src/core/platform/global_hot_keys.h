#pragma once

// The global hot-key port: keys registered here reach Wrenfold whichever application has the
// focus, and do not reach that application. Main thread only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/records/shortcut.h"
#include "core/support/failure.h"

namespace wrenfold {

// Where the desktop keeps the binding of Wrenfold's trigger itself (the GlobalShortcuts portal).
struct DesktopShortcutBinding {
  // The desktop's own words for the keys bound now ("Ctrl+Alt+Space"); empty while none are
  // bound or the desktop has not answered yet.
  std::string trigger;
  // Why the desktop did not bind it, in Chinese; empty when it did or is still asked.
  std::string problem;
};

class GlobalHotKeys {
 public:
  enum class Phase { pressed, released };
  using Handler = std::function<void(std::uint32_t id, Phase phase)>;

  GlobalHotKeys() = default;
  virtual ~GlobalHotKeys() = default;
  GlobalHotKeys(const GlobalHotKeys&) = delete;
  GlobalHotKeys& operator=(const GlobalHotKeys&) = delete;

  // Receives the press and the release of every registered key, on the main thread. A key held
  // down is pressed once and released once, however long the keyboard repeats it.
  virtual void setHandler(Handler handler) = 0;
  // Registers `shortcut` under `id`. Failure (Chinese description): another application holds
  // the key, this keyboard has no such key, or the session offers no global keys.
  [[nodiscard]] virtual Result<void> registerHotKey(std::uint32_t id, const Shortcut& shortcut) = 0;
  // Harmless for an id not registered.
  virtual void unregisterHotKey(std::uint32_t id) = 0;
  // Whether another application holds `shortcut`, so registering it would fail. False for a
  // shortcut registered here.
  [[nodiscard]] virtual bool isTakenByAnotherApplication(const Shortcut& shortcut) = 0;
  // The shortcut a key event of this desktop stands for, from the event's native key code and
  // modifier state (X11: the keycode and the state mask); absent for a key outside the table.
  [[nodiscard]] virtual std::optional<Shortcut> shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                                     std::uint32_t nativeModifiers) const = 0;

  // Desktops that keep the binding themselves bind Wrenfold's one trigger whether or not a
  // shortcut is registered; a registered shortcut only suggests the keys, and while none is,
  // the desktop's binding calls `handler`. Elsewhere both do nothing and the binding is absent.
  virtual void setUnregisteredTriggerHandler(std::function<void()> handler) { static_cast<void>(handler); }
  [[nodiscard]] virtual std::optional<DesktopShortcutBinding> desktopBinding() const { return std::nullopt; }
};

}  // namespace wrenfold
