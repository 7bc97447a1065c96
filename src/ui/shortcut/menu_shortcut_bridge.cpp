#include "ui/shortcut/menu_shortcut_bridge.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>

namespace wrenfold {

MenuShortcutBridge::MenuShortcutBridge(ShortcutRegistry& registry, QObject* parent)
    : QObject(parent), registry_(registry) {}

MenuShortcutBridge::~MenuShortcutBridge() {
  if (!openMenus_.empty()) {
    registry_.endMenuTracking();
  }
}

void MenuShortcutBridge::attach(QMenu* menu) {
  menu->installEventFilter(this);
  connect(menu, &QMenu::aboutToShow, this, [this, menu] { menuShown(menu); });
  connect(menu, &QMenu::aboutToHide, this, [this, menu] { menuHidden(menu); });
  connect(menu, &QObject::destroyed, this, [this](QObject* gone) { menuHidden(gone); });
  if (menu->isVisible()) {
    menuShown(menu);
  }
}

bool MenuShortcutBridge::eventFilter(QObject* watched, QEvent* event) {
  const bool isKey = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
  if (isKey && keyEvent(event)) {
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void MenuShortcutBridge::menuShown(QObject* menu) {
  if (openMenus_.insert(menu).second && openMenus_.size() == 1) {
    registry_.beginMenuTracking();
  }
}

void MenuShortcutBridge::menuHidden(QObject* menu) {
  if (openMenus_.erase(menu) == 1 && openMenus_.empty()) {
    registry_.endMenuTracking();
  }
}

bool MenuShortcutBridge::keyEvent(QEvent* event) {
  const auto* key = static_cast<QKeyEvent*>(event);
  // A menu closes on Alt, which would end the tracking in the middle of a shortcut such as
  // Ctrl+Alt+Space: the rest of its keys then reach neither the menu nor the desktop grab, which
  // is still being restored. Alt alone does nothing in a menu of ours; Escape closes it.
  if (key->key() == Qt::Key_Alt || key->key() == Qt::Key_AltGr || key->key() == Qt::Key_Meta) {
    return true;
  }
  const auto shortcut = registry_.shortcutForNativeKey(key->nativeScanCode(), key->nativeModifiers());
  if (!shortcut) {
    return false;
  }
  const bool press = event->type() == QEvent::KeyPress;
  if (key->isAutoRepeat()) {
    return press ? registry_.handleMenuKey(*shortcut, ShortcutRegistry::KeyPhase::down) : false;
  }
  if (!registry_.handleMenuKey(*shortcut,
                               press ? ShortcutRegistry::KeyPhase::down : ShortcutRegistry::KeyPhase::up)) {
    return false;
  }
  if (!press) {
    // The shortcut has fired: the menus make way, as after choosing one of their items.
    constexpr int kMostNestedMenus = 16;
    for (int i = 0; i < kMostNestedMenus && QApplication::activePopupWidget() != nullptr; ++i) {
      QApplication::activePopupWidget()->close();
    }
  }
  return true;
}

}  // namespace wrenfold
