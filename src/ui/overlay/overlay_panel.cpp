#include "ui/overlay/overlay_panel.h"

#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/overlay/overlay_view.h"

namespace wrenfold {

OverlayPanel::OverlayPanel(OverlayViewModel& model) : view_(new OverlayView(model, this)) {
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TranslucentBackground);  // the view draws its own rounded background
  setWindowTitle(QStringLiteral("Wrenfold"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  setFixedSize(OverlayView::kWidth, OverlayView::kHeight);
  // The native window sees every key press before the focused widget does.
  winId();
  windowHandle()->installEventFilter(this);
}

void OverlayPanel::stepBack() {
  // On the native window: QWidget::setWindowFlags would hide the panel and make a new window.
  windowHandle()->setFlag(Qt::WindowStaysOnTopHint, false);
  lower();
}

void OverlayPanel::stayOnTop() {
  windowHandle()->setFlag(Qt::WindowStaysOnTopHint, true);
}

bool OverlayPanel::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) {
    stayOnTop();
  }
  return QWidget::event(event);
}

bool OverlayPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == windowHandle() && event->type() == QEvent::KeyPress && onKeyDown) {
    return onKeyDown(*static_cast<QKeyEvent*>(event));
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace wrenfold
