#pragma once

// Global hot keys on X11: passive key grabs on the root window, one per combination of the lock
// modifiers, on a private connection read on the Qt event loop. A key another client has
// grabbed makes the server answer BadAccess, later and asynchronously: every grab runs under an
// error trap that waits for the answer, so a refused grab is a failed registration, never an X
// error that ends the process.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/platform/global_hot_keys.h"
#include "platform/linux/x11_connection.h"
#include "platform/linux/x11_key_mapping.h"

class QSocketNotifier;

namespace wrenfold {

class X11GlobalHotKeys final : public GlobalHotKeys {
 public:
  // Null `connection`: every registration fails. Events are read once the Qt application
  // object exists.
  explicit X11GlobalHotKeys(std::unique_ptr<X11Connection> connection);
  ~X11GlobalHotKeys() override;

  void setHandler(Handler handler) override { handler_ = std::move(handler); }
  [[nodiscard]] Result<void> registerHotKey(std::uint32_t id, const Shortcut& shortcut) override;
  void unregisterHotKey(std::uint32_t id) override;
  [[nodiscard]] bool isTakenByAnotherApplication(const Shortcut& shortcut) override;
  [[nodiscard]] std::optional<Shortcut> shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                             std::uint32_t nativeModifiers) const override;

 private:
  struct Grab {
    std::uint32_t id = 0;
    Shortcut shortcut;
    KeyCode keycode = 0;  // 0 while the key cannot be grabbed (after a layout change)
    unsigned modifiers = 0;
    bool isDown = false;
  };

  [[nodiscard]] Result<void> grab(Grab& grab);
  void ungrab(const Grab& grab);
  // Grabs every lock variant, or none of them.
  [[nodiscard]] bool grabVariants(KeyCode keycode, unsigned modifiers);
  void ungrabVariants(KeyCode keycode, unsigned modifiers);
  void watchConnection();
  void readSoon();
  void readEvents();
  void keyPressed(const XKeyEvent& event);
  void keyReleased(const XKeyEvent& event);
  [[nodiscard]] bool isAutoRepeat(const XKeyEvent& release);
  void keyboardChanged();
  void report(std::uint32_t id, Phase phase);

  std::unique_ptr<X11Connection> x_;
  X11ModifierMasks masks_;
  bool detectableAutoRepeat_ = false;
  std::vector<Grab> grabs_;
  Handler handler_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace wrenfold
