#pragma once

// The settings tab "快捷键": the recorder for the shortcut that calls Wrenfold up, and the
// default trigger (a double tap of Alt), which is in effect only while no shortcut is recorded.
// Recording a shortcut switches the double tap off at once; clearing it, or "恢复默认",
// switches it back on. Where the desktop keeps the binding (the GlobalShortcuts portal under
// Wayland) the tab shows the desktop's binding and where to change it; the recording is then
// only the suggestion handed to the desktop. Where the desktop offers only its own custom
// shortcuts (GNOME before the portal), the button "在 GNOME 中设置快捷键" hands the recorded keys
// to a custom shortcut that runs `wrenfold trigger`; the tab shows what GNOME holds and removes
// it on request.

#include <QWidget>
#include <optional>

#include "core/trigger/desktop_trigger_shortcut.h"
#include "core/trigger/hotkey_controller.h"
#include "core/trigger/shortcut_registry.h"

class QFormLayout;
class QLabel;
class QPushButton;

namespace wrenfold {

class ShortcutRecorder;
class ToneLabel;

class ShortcutSettingsTab final : public QWidget {
 public:
  // All outlive the tab; `desktopShortcut` is null where the desktop has no custom shortcuts
  // for Wrenfold to set.
  ShortcutSettingsTab(ShortcutRegistry& registry, HotkeyController& hotkeyController,
                      DesktopTriggerShortcut* desktopShortcut = nullptr, QWidget* parent = nullptr);

 private:
  [[nodiscard]] QWidget* makeShortcutGroup();
  [[nodiscard]] QWidget* makeDefaultTriggerGroup();
  void customShortcutChanged(const std::optional<Shortcut>& shortcut);
  void restoreDefault();
  void refreshDefaultTrigger();
  void refreshDesktopBinding();
  void addGnomeShortcutRows(QFormLayout& form);
  void setGnomeShortcut();
  void removeGnomeShortcut();
  void refreshGnomeShortcut();

  ShortcutRegistry& registry_;
  HotkeyController& hotkeyController_;
  std::optional<Shortcut> customShortcut_;
  ShortcutRecorder* recorder_ = nullptr;
  QLabel* defaultTrigger_ = nullptr;
  QPushButton* restoreDefault_ = nullptr;
  ToneLabel* inactive_ = nullptr;  // why the stored shortcut does not work, when it does not
  QLabel* doubleTapUnavailable_ = nullptr;
  QLabel* desktopBinding_ = nullptr;  // only where the desktop keeps the binding
  DesktopTriggerShortcut* gnomeShortcut_;
  QLabel* gnomeBinding_ = nullptr;  // these three only with `gnomeShortcut_`
  QPushButton* setGnomeShortcut_ = nullptr;
  QPushButton* removeGnomeShortcut_ = nullptr;
};

}  // namespace wrenfold
