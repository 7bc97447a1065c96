#pragma once

// The settings tab "快捷键": the recorder for the shortcut that calls Wrenfold up, and the
// default trigger (a double tap of Alt), which is in effect only while no shortcut is recorded.
// Recording a shortcut switches the double tap off at once; clearing it, or "恢复默认",
// switches it back on. Where the desktop keeps the binding (the GlobalShortcuts portal under
// Wayland) the tab shows the desktop's binding and where to change it; the recording is then
// only the suggestion handed to the desktop.

#include <QWidget>
#include <optional>

#include "core/trigger/hotkey_controller.h"
#include "core/trigger/shortcut_registry.h"

class QLabel;
class QPushButton;

namespace wrenfold {

class ShortcutRecorder;
class ToneLabel;

class ShortcutSettingsTab final : public QWidget {
 public:
  // Both outlive the tab.
  ShortcutSettingsTab(ShortcutRegistry& registry, HotkeyController& hotkeyController,
                      QWidget* parent = nullptr);

 private:
  [[nodiscard]] QWidget* makeShortcutGroup();
  [[nodiscard]] QWidget* makeDefaultTriggerGroup();
  void customShortcutChanged(const std::optional<Shortcut>& shortcut);
  void restoreDefault();
  void refreshDefaultTrigger();
  void refreshDesktopBinding();

  ShortcutRegistry& registry_;
  HotkeyController& hotkeyController_;
  std::optional<Shortcut> customShortcut_;
  ShortcutRecorder* recorder_ = nullptr;
  QLabel* defaultTrigger_ = nullptr;
  QPushButton* restoreDefault_ = nullptr;
  ToneLabel* inactive_ = nullptr;  // why the stored shortcut does not work, when it does not
  QLabel* doubleTapUnavailable_ = nullptr;
  QLabel* desktopBinding_ = nullptr;  // only where the desktop keeps the binding
};

}  // namespace wrenfold
