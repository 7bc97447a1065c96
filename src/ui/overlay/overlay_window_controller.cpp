#include "ui/overlay/overlay_window_controller.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/overlay/overlay_placement.h"
#include "ui/overlay/clipboard_text.h"
#include "ui/overlay/overlay_panel.h"
#include "ui/overlay/overlay_view.h"

namespace wrenfold {
namespace {

constexpr std::chrono::milliseconds kKeysPoll{15};
// How long after the panel appeared, or a modifier was last seen down, it takes the keyboard.
constexpr std::chrono::milliseconds kKeysSettle{250};
constexpr std::chrono::milliseconds kKeysWaitLimit{2000};

}  // namespace

Rect availableScreenArea(const std::optional<Rect>& anchor) {
  QScreen* screen = nullptr;
  if (anchor) {
    const QPoint centre(static_cast<int>(anchor->x + anchor->width / 2),
                        static_cast<int>(anchor->y + anchor->height / 2));
    screen = QGuiApplication::screenAt(centre);
  } else {
    screen = QGuiApplication::screenAt(QCursor::pos());
  }
  if (screen == nullptr) {
    screen = QGuiApplication::primaryScreen();
  }
  if (screen == nullptr) {
    return {};
  }
  const QRect area = screen->availableGeometry();
  return {static_cast<double>(area.x()), static_cast<double>(area.y()), static_cast<double>(area.width()),
          static_cast<double>(area.height())};
}

Rect logicalScreenRect(Rect device) {
  std::vector<OverlayPlacement::Screen> screens;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect area = screen->geometry();
    screens.push_back({Rect{static_cast<double>(area.x()), static_cast<double>(area.y()),
                            static_cast<double>(area.width()), static_cast<double>(area.height())},
                       screen->devicePixelRatio()});
  }
  return OverlayPlacement::logicalFromDevice(device, screens);
}

OverlayWindowController::OverlayWindowController(std::vector<PromptTemplate> templates)
    : keys_(model_, [](const std::string& text) { copyPlainText(text); }) {
  model_.setTemplates(std::move(templates));
}

OverlayWindowController::~OverlayWindowController() = default;

void OverlayWindowController::createPanel() {
  panel_ = std::make_unique<OverlayPanel>(model_);
  // The panel is owned here and destroyed first, so these callbacks never outlive `this`.
  panel_->onKeyDown = [this](const QKeyEvent& event) { return handleKeyDown(event); };
  panel_->view().onOpenSettings = [this] {
    if (onOpenSettings) {
      onOpenSettings();
    }
  };
}

void OverlayWindowController::show(std::optional<Rect> anchor) {
  lastAnchor_ = anchor;
  if (!panel_) {
    createPanel();
  }
  ensureSize();
  position(lastAnchor_, false);
  present();
}

void OverlayWindowController::showAtCaret(Rect caret) {
  lastAnchor_ = caret;
  if (!panel_) {
    createPanel();
  }
  ensureSize();
  position(caret, true);
  present();
}

void OverlayWindowController::present() {
  ++presentations_;
  if (!panel_->isVisible()) {
    shownAt_ = Clock::now();
  }
  panel_->stayOnTop();
  panel_->show();  // without activation: the user's application keeps the keyboard
  panel_->raise();
}

void OverlayWindowController::ensureSize() {
  const QSize size(OverlayView::kWidth, OverlayView::kHeight);
  if (panel_ && panel_->size() != size) {
    panel_->resize(size);
  }
}

void OverlayWindowController::focusPanel() {
  if (!panel_) {
    return;
  }
  // Someone typing in the instruction or pasted-context field keeps it: their next digit or
  // Return must go into the field, not pick or insert a candidate that just arrived.
  const bool typing = panel_->isActiveWindow() && isEditableTextInput(panel_->focusWidget());
  if (!typing) {
    panel_->view().clearTextFocus();
  }
  ++presentations_;
  panel_->show();
  panel_->raise();
  activateOnceKeysAreUp(++activationRequests_, Clock::now());
}

void OverlayWindowController::activateOnceKeysAreUp(std::uint64_t request, Clock::time_point asked) {
  if (request != activationRequests_ || !panel_->isVisible()) {
    return;
  }
  // On X11 a key's release goes to whichever window has the focus when it comes, and a Qt
  // program on the accessibility bus holds each key event back until the bus has seen it: on a
  // busy machine it takes the trigger's taps of Alt only after the panel would otherwise have
  // taken the focus. Its menu bar then takes the keyboard while the window is inactive and keeps
  // it after the panel gives the window back, and the text gets nothing. The program is given
  // the trigger's keys first (never for long: a key held on and on does not keep the panel
  // from the keyboard).
  constexpr Qt::KeyboardModifiers kHeld =
      Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier | Qt::MetaModifier;
  const auto now = Clock::now();
  if (QGuiApplication::queryKeyboardModifiers().testAnyFlags(kHeld)) {
    keysLastHeld_ = now;
  }
  if (now - asked < kKeysWaitLimit && now < std::max(shownAt_, keysLastHeld_) + kKeysSettle) {
    QTimer::singleShot(kKeysPoll, panel_.get(),
                       [this, request, asked] { activateOnceKeysAreUp(request, asked); });
    return;
  }
  panel_->activateWindow();
}

void OverlayWindowController::stepBack() {
  if (panel_ && panel_->isVisible()) {
    panel_->stepBack();
  }
}

void OverlayWindowController::close() {
  if (!panel_) {
    return;
  }
  ++activationRequests_;
  if (!hideAfterThisTurn_) {
    panel_->hide();
    return;
  }
  // KWin takes an XWayland program's clipboard over to Wayland only while one of its windows
  // is active: the panel stays until what closed it (an insertion) has set the clipboard.
  QTimer::singleShot(0, panel_.get(), [this, shown = presentations_] {
    if (presentations_ == shown) {  // not shown again meanwhile
      panel_->hide();
    }
  });
}

void OverlayWindowController::position(const std::optional<Rect>& anchor, bool atCaret) {
  const Size size{static_cast<double>(panel_->width()), static_cast<double>(panel_->height())};
  const std::optional<Rect> logical = anchor ? std::optional(logicalScreenRect(*anchor)) : std::nullopt;
  const Rect area = availableScreenArea(logical);
  const Point origin = atCaret && logical ? OverlayPlacement::originAtCaret(size, area, *logical)
                                          : OverlayPlacement::origin(size, area, logical);
  panel_->move(static_cast<int>(std::lround(origin.x)), static_cast<int>(std::lround(origin.y)));
}

bool OverlayWindowController::handleKeyDown(const QKeyEvent& event) {
  return keys_.handleKeyDown(event, isTextInput(panel_->focusWidget()));
}

}  // namespace wrenfold
