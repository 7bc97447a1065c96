#include "ui/settings/settings_window_controller.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include "ui/brand/brand_icon.h"

namespace wrenfold {

SettingsWindowController::SettingsWindowController(SettingsContext context, ShortcutTabFactory shortcutTab)
    : context_(std::move(context)), shortcutTab_(std::move(shortcutTab)) {}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::show() {
  if (!window_) {
    build();
  }
  window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);  // a minimised window comes back
  window_->show();
  // After the current event (a menu click, a key), so the window ends up in front of whatever
  // that event left active; nothing happens if the window is gone by then.
  QTimer::singleShot(0, window_.get(), [window = QPointer<SettingsView>(window_.get())] {
    if (window) {
      window->raise();
      window->activateWindow();
    }
  });
}

void SettingsWindowController::showGuided(const QString& guide) {
  if (!window_) {
    build();
  }
  window_->tabs().setCurrentIndex(0);
  window_->setGuide(guide);
  show();
}

void SettingsWindowController::sessionChanged(std::vector<std::string> sessionOffers) {
  context_.sessionOffers = std::move(sessionOffers);
  if (window_) {
    window_->sessionChanged(shortcutTab_ ? shortcutTab_() : nullptr, context_.sessionOffers);
  }
}

void SettingsWindowController::build() {
  window_ = std::make_unique<SettingsView>(context_, shortcutTab_ ? shortcutTab_() : nullptr);
  window_->setWindowTitle(QStringLiteral("Wrenfold 设置"));
  window_->setWindowIcon(BrandIcon::makeTemplateIcon());
  window_->resize(kWidth, kHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    window_->move(available.center() - window_->rect().center());
  }
}

}  // namespace wrenfold
