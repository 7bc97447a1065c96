#include "ui/tray/menu_bar_controller.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <utility>

#include "ui/brand/brand_icon.h"

namespace wrenfold {
namespace {

// Calls back when the application's palette or the desktop's theme changes: a light/dark switch.
class ThemeWatch final : public QObject {
 public:
  explicit ThemeWatch(std::function<void()> changed) : changed_(std::move(changed)) {
    QCoreApplication::instance()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == QCoreApplication::instance() &&
        (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange)) {
      changed_();
    }
    return false;
  }

 private:
  std::function<void()> changed_;
};

}  // namespace

MenuBarController::MenuBarController(PanelForeground panelForeground)
    : panelForeground_(std::move(panelForeground)) {
  redrawMark();
  themeWatch_ = std::make_unique<ThemeWatch>([this] { redrawMark(); });
  statusItem_.setToolTip(QStringLiteral("Wrenfold"));
  rebuildMenu();
  statusItem_.setContextMenu(&menu_);
  // Trays differ: some open the context menu on any click, others only report the click. A
  // plain click opens the menu everywhere.
  QObject::connect(&statusItem_, &QSystemTrayIcon::activated, &menu_,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger && !menu_.isVisible()) {
                       menu_.popup(QCursor::pos());
                     }
                   });
  statusItem_.show();
}

MenuBarController::~MenuBarController() {
  statusItem_.hide();
}

bool MenuBarController::isTrayAvailable() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void MenuBarController::notify(const QString& message) {
  if (isTrayAvailable()) {
    statusItem_.showMessage(QStringLiteral("Wrenfold"), message, QSystemTrayIcon::Warning);
  }
}

void MenuBarController::redrawMark() {
  statusItem_.setIcon(BrandIcon::makeTrayIcon(panelForeground_ ? panelForeground_() : std::nullopt));
}

void MenuBarController::rebuildMenu() {
  menu_.clear();
  menu_.addAction(QStringLiteral("生成候选"), &menu_, [this] { trigger(); });
  menu_.addSeparator();
  menu_.addAction(QStringLiteral("设置"), QKeySequence(QStringLiteral("Ctrl+,")), &menu_,
                  [this] { openSettings(); });
  menu_.addSeparator();
  menu_.addAction(QStringLiteral("退出"), QKeySequence(QStringLiteral("Ctrl+Q")), &menu_,
                  [] { QCoreApplication::quit(); });
}

void MenuBarController::trigger() const {
  if (onTrigger) {
    onTrigger();
  }
}

void MenuBarController::openSettings() const {
  if (onSettings) {
    onSettings();
  }
}

}  // namespace wrenfold
