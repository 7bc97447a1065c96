// Qt before Xlib: Xlib's macros (Bool, Status, KeyPress) break Qt's headers.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/linux/x11_global_hot_keys.h"

#include <X11/XKBlib.h>

#include <algorithm>

namespace wrenfold {

X11GlobalHotKeys::X11GlobalHotKeys(std::unique_ptr<X11Connection> connection) : x_(std::move(connection)) {
  if (!x_) {
    return;
  }
  masks_ = readModifierMasks(x_->display());
  // A held key then repeats as presses alone, with one release at the end.
  Bool supported = False;
  XkbSetDetectableAutoRepeat(x_->display(), True, &supported);
  detectableAutoRepeat_ = supported != False;
}

X11GlobalHotKeys::~X11GlobalHotKeys() {
  notifier_.reset();
  for (const Grab& grab : grabs_) {
    ungrab(grab);
  }
  if (x_) {
    XSync(x_->display(), False);
  }
}

Result<void> X11GlobalHotKeys::registerHotKey(std::uint32_t id, const Shortcut& shortcut) {
  if (!x_) {
    return failPlatform("当前桌面会话不支持全局快捷键");
  }
  unregisterHotKey(id);
  Grab entry;
  entry.id = id;
  entry.shortcut = shortcut;
  auto grabbed = grab(entry);
  readSoon();
  if (!grabbed) {
    return grabbed;
  }
  grabs_.push_back(entry);
  watchConnection();
  return {};
}

void X11GlobalHotKeys::unregisterHotKey(std::uint32_t id) {
  const auto it = std::ranges::find(grabs_, id, &Grab::id);
  if (it == grabs_.end()) {
    return;
  }
  ungrab(*it);
  grabs_.erase(it);
  XFlush(x_->display());
}

bool X11GlobalHotKeys::isTakenByAnotherApplication(const Shortcut& shortcut) {
  if (!x_ || std::ranges::find(grabs_, shortcut, &Grab::shortcut) != grabs_.end()) {
    return false;
  }
  const KeyCode keycode = keycodeForShortcutKey(x_->display(), shortcut.carbonKeyCode);
  const auto modifiers = stateFromCarbonModifiers(shortcut.carbonModifiers, masks_);
  if (keycode == 0 || !modifiers) {
    return false;  // not a key anyone can hold on this keyboard
  }
  // A trial grab, given back at once.
  const bool free = grabVariants(keycode, *modifiers);
  if (free) {
    ungrabVariants(keycode, *modifiers);
  }
  readSoon();
  return !free;
}

std::optional<Shortcut> X11GlobalHotKeys::shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                               std::uint32_t nativeModifiers) const {
  if (!x_) {
    return std::nullopt;
  }
  return shortcutForKeyEvent(x_->display(), nativeKeyCode, nativeModifiers, masks_);
}

Result<void> X11GlobalHotKeys::grab(Grab& entry) {
  entry.keycode = 0;
  const KeyCode keycode = keycodeForShortcutKey(x_->display(), entry.shortcut.carbonKeyCode);
  if (keycode == 0) {
    return failPlatform("当前键盘布局中没有快捷键所用的按键");
  }
  const auto modifiers = stateFromCarbonModifiers(entry.shortcut.carbonModifiers, masks_);
  if (!modifiers) {
    return failPlatform("当前键盘没有快捷键所用的修饰键");
  }
  if (!grabVariants(keycode, *modifiers)) {
    return failPlatform("快捷键已被其他程序占用");
  }
  entry.keycode = keycode;
  entry.modifiers = *modifiers;
  return {};
}

void X11GlobalHotKeys::ungrab(const Grab& entry) {
  if (entry.keycode != 0) {
    ungrabVariants(entry.keycode, entry.modifiers);
  }
}

bool X11GlobalHotKeys::grabVariants(KeyCode keycode, unsigned modifiers) {
  const auto variants = lockVariants(masks_);
  X11Connection::ErrorTrap trap(*x_);
  for (const unsigned lock : variants) {
    XGrabKey(x_->display(), keycode, modifiers | lock, x_->root(), False, GrabModeAsync, GrabModeAsync);
  }
  if (trap.succeeded()) {
    return true;
  }
  // Some variants may have been granted: give those back, the key is not ours.
  ungrabVariants(keycode, modifiers);
  return false;
}

void X11GlobalHotKeys::ungrabVariants(KeyCode keycode, unsigned modifiers) {
  for (const unsigned lock : lockVariants(masks_)) {
    XUngrabKey(x_->display(), keycode, modifiers | lock, x_->root());
  }
}

void X11GlobalHotKeys::watchConnection() {
  if (notifier_ || QCoreApplication::instance() == nullptr) {
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(XConnectionNumber(x_->display()), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
}

void X11GlobalHotKeys::readSoon() {
  // A round trip may have pulled events off the socket into Xlib's queue, where the notifier
  // cannot see them.
  if (notifier_ && XEventsQueued(x_->display(), QueuedAlready) > 0) {
    QTimer::singleShot(0, notifier_.get(), [this] { readEvents(); });
  }
}

void X11GlobalHotKeys::readEvents() {
  Display* display = x_->display();
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    switch (event.type) {
      case KeyPress:
        keyPressed(event.xkey);
        break;
      case KeyRelease:
        keyReleased(event.xkey);
        break;
      case MappingNotify:
        XRefreshKeyboardMapping(&event.xmapping);
        if (event.xmapping.request != MappingPointer) {
          keyboardChanged();
        }
        break;
      default:
        break;
    }
  }
}

void X11GlobalHotKeys::keyPressed(const XKeyEvent& event) {
  const unsigned state = event.state & shortcutModifierBits(masks_);
  const auto it = std::ranges::find_if(
      grabs_, [&](const Grab& g) { return g.keycode == event.keycode && g.modifiers == state; });
  if (it == grabs_.end() || it->isDown) {
    return;  // not ours, or the keyboard repeating a held key
  }
  it->isDown = true;
  report(it->id, Phase::pressed);
}

void X11GlobalHotKeys::keyReleased(const XKeyEvent& event) {
  if (isAutoRepeat(event)) {
    return;
  }
  // Matched by key alone: the modifiers may be let go first.
  const auto it =
      std::ranges::find_if(grabs_, [&](const Grab& g) { return g.keycode == event.keycode && g.isDown; });
  if (it == grabs_.end()) {
    return;
  }
  it->isDown = false;
  report(it->id, Phase::released);
}

bool X11GlobalHotKeys::isAutoRepeat(const XKeyEvent& release) {
  if (detectableAutoRepeat_ || XEventsQueued(x_->display(), QueuedAfterReading) == 0) {
    return false;
  }
  // Without detectable auto-repeat a repeat is a release and a press with the same time.
  XEvent next;
  XPeekEvent(x_->display(), &next);
  if (next.type != KeyPress || next.xkey.keycode != release.keycode || next.xkey.time != release.time) {
    return false;
  }
  XNextEvent(x_->display(), &next);
  return true;
}

void X11GlobalHotKeys::keyboardChanged() {
  // Released with the old keycodes and lock masks, taken again with the new ones. A key the
  // new layout lacks stays registered but inactive.
  for (const Grab& entry : grabs_) {
    ungrab(entry);
  }
  masks_ = readModifierMasks(x_->display());
  for (Grab& entry : grabs_) {
    entry.isDown = false;
    static_cast<void>(grab(entry));
  }
}

void X11GlobalHotKeys::report(std::uint32_t id, Phase phase) {
  if (handler_) {
    const Handler handler = handler_;  // the handler may change registrations
    handler(id, phase);
  }
}

}  // namespace wrenfold
