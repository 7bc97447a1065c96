#pragma once

// The tray icon (the brand mark) and its menu: "生成候选", "设置" (Ctrl+,), "退出" (Ctrl+Q),
// separated by lines. A click on the icon opens the menu. Main thread only.

#include <QMenu>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>

namespace wrenfold {

class MenuBarController {
 public:
  // `panelForeground` tells the tray panel's text colour when the desktop says it; it is asked
  // again, and the mark redrawn, whenever the desktop switches between light and dark.
  using PanelForeground = std::function<std::optional<QColor>()>;
  explicit MenuBarController(PanelForeground panelForeground = {});
  ~MenuBarController();
  MenuBarController(const MenuBarController&) = delete;
  MenuBarController& operator=(const MenuBarController&) = delete;

  // Whether the desktop shows tray icons at all; without one the menu cannot be reached.
  [[nodiscard]] static bool isTrayAvailable();

  // Called by "生成候选" and "设置"; nothing happens while unset.
  std::function<void()> onTrigger;
  std::function<void()> onSettings;

  // A desktop notification from the tray icon; nothing without a tray.
  void notify(const QString& message);

  [[nodiscard]] QMenu& menu() { return menu_; }
  [[nodiscard]] QSystemTrayIcon& statusItem() { return statusItem_; }

 private:
  void rebuildMenu();
  void redrawMark();
  void trigger() const;
  void openSettings() const;

  PanelForeground panelForeground_;
  QMenu menu_;
  QSystemTrayIcon statusItem_;
  std::unique_ptr<QObject> themeWatch_;
};

}  // namespace wrenfold
