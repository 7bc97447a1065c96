#pragma once

// Keeps the custom shortcut working while one of Wrenfold's own menus is open. An open Qt menu
// holds the keyboard, so the desktop's key grabs cannot fire; the keys go to the menu instead.
// Attach the tray menu (and any submenu): while one is shown, the registry matches the keys it
// receives, and a matched shortcut closes the menus once it has fired.

#include <QObject>
#include <set>

#include "core/trigger/shortcut_registry.h"

class QMenu;

namespace wrenfold {

class MenuShortcutBridge final : public QObject {
 public:
  // `registry` outlives the bridge.
  explicit MenuShortcutBridge(ShortcutRegistry& registry, QObject* parent = nullptr);
  ~MenuShortcutBridge() override;

  void attach(QMenu* menu);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void menuShown(QObject* menu);
  void menuHidden(QObject* menu);
  [[nodiscard]] bool keyEvent(QEvent* event);

  ShortcutRegistry& registry_;
  std::set<QObject*> openMenus_;
};

}  // namespace wrenfold
