#pragma once

// Owns the one settings window: built on the first show(), then brought back unchanged (its
// view state survives closing). Main thread only.

#include <functional>
#include <memory>

#include "ui/settings/settings_view.h"

namespace wrenfold {

class SettingsWindowController {
 public:
  static constexpr int kWidth = 800;
  static constexpr int kHeight = 600;

  // Makes the shortcut tab when the window is built; absent while there is none.
  using ShortcutTabFactory = std::function<std::unique_ptr<QWidget>()>;

  explicit SettingsWindowController(SettingsContext context, ShortcutTabFactory shortcutTab = {});
  ~SettingsWindowController();
  SettingsWindowController(const SettingsWindowController&) = delete;
  SettingsWindowController& operator=(const SettingsWindowController&) = delete;

  // Builds the window when needed, shows it, and raises and activates it once the current
  // event has been handled.
  void show();
  // Shows the window at its first tab, "模型", with `guide` above the tabs: for a first run
  // or a desktop without a tray, where the window is all the user sees of Wrenfold.
  void showGuided(const QString& guide);

  // What the session offers changed (known only after launch under Wayland): a window built
  // already shows it at once, one built later from the start.
  void sessionChanged(std::vector<std::string> sessionOffers);

  // Null until the first show().
  [[nodiscard]] SettingsView* window() const { return window_.get(); }

 private:
  void build();

  SettingsContext context_;
  ShortcutTabFactory shortcutTab_;
  std::unique_ptr<SettingsView> window_;
};

}  // namespace wrenfold
