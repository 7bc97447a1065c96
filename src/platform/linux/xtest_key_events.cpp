#include "platform/linux/xtest_key_events.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/text/text.h"

namespace wrenfold {
namespace {

struct ModifierKey {
  KeyModifier modifier;
  KeySym keysym;
};

constexpr std::array<ModifierKey, 4> kModifierKeys{{
    {KeyModifier::control, XK_Control_L},
    {KeyModifier::shift, XK_Shift_L},
    {KeyModifier::alt, XK_Alt_L},
    {KeyModifier::super, XK_Super_L},
}};

// Second to the accessibility role, which names every terminal that exposes itself; these
// cover the ones that do not (or not yet, right after they start).
constexpr std::array<std::string_view, 20> kTerminalWords{
    "terminal", "xterm", "konsole",     "terminator", "alacritty", "kitty",      "tilix",
    "urxvt",    "rxvt",  "st-256color", "wezterm",    "foot",      "kgx",        "gnome.console",
    "ptyxis",   "guake", "tilda",       "yakuake",    "sakura",    "terminology"};

// Key names come in lower case ("v", "return"); X keysym names are case-sensitive ("Return").
KeySym keysymFor(const std::string& name) {
  KeySym keysym = XStringToKeysym(name.c_str());
  if (keysym == NoSymbol && !name.empty()) {
    std::string capitalised = name;
    capitalised[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(capitalised[0])));
    keysym = XStringToKeysym(capitalised.c_str());
  }
  return keysym;
}

// Xkb's description of the keyboard: key types and symbols of every group.
struct KeyboardFree {
  void operator()(XkbDescPtr keyboard) const {
    if (keyboard != nullptr) {
      XkbFreeKeyboard(keyboard, 0, True);
    }
  }
};
using KeyboardPtr = std::unique_ptr<XkbDescRec, KeyboardFree>;

}  // namespace

KeyCode keycodeInActiveGroup(Display* display, KeySym keysym) {
  XkbStateRec state{};
  const KeyboardPtr keyboard(XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd));
  if (keysym == NoSymbol || keyboard == nullptr || XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
    return keysym == NoSymbol ? KeyCode{0} : XKeysymToKeycode(display, keysym);
  }
  // The key that gives the symbol with no modifier in the group the user types in now; else
  // the one in the first group that has it, which toolkits also match a shortcut against when
  // the active layout has no Latin letters.
  const int groups = std::max(1, static_cast<int>(XkbNumKbdGroups));
  const int active = state.group;
  for (int offset = 0; offset < groups; ++offset) {
    const int group = offset == 0 ? active : offset - 1 + (offset - 1 >= active ? 1 : 0);
    if (group >= groups) {
      break;
    }
    for (int code = keyboard->min_key_code; code <= keyboard->max_key_code; ++code) {
      unsigned int consumed = 0;
      KeySym produced = NoSymbol;
      if (XkbTranslateKeyCode(keyboard.get(), static_cast<KeyCode>(code), XkbBuildCoreState(0, group),
                              &consumed, &produced) != False &&
          produced == keysym) {
        return static_cast<KeyCode>(code);
      }
    }
  }
  return XKeysymToKeycode(display, keysym);
}

bool isTerminalWindowClass(std::string_view instance, std::string_view windowClass) {
  const std::string names = text::lowercased(std::string(instance) + " " + std::string(windowClass));
  for (const auto word : kTerminalWords) {
    if (names.find(word) != std::string::npos) {
      return true;
    }
  }
  return false;
}

XTestKeyEvents::XTestKeyEvents() : XTestKeyEvents(X11Connection::open()) {}

XTestKeyEvents::XTestKeyEvents(std::unique_ptr<X11Connection> connection) : x_(std::move(connection)) {
  if (x_) {
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    hasXTest_ = XTestQueryExtension(x_->display(), &event, &error, &major, &minor) != False;
  }
}

XTestKeyEvents::~XTestKeyEvents() = default;

bool XTestKeyEvents::userHoldsModifier() {
  std::array<char, 32> keys{};
  XQueryKeymap(x_->display(), keys.data());
  XModifierKeymap* map = XGetModifierMapping(x_->display());
  if (map == nullptr) {
    return false;
  }
  bool held = false;
  const int total = 8 * map->max_keypermod;
  for (int i = 0; i < total && !held; ++i) {
    const KeyCode code = map->modifiermap[i];
    // Lock modifiers (Caps Lock, Num Lock) are latched, not held: only real presses count.
    const int modifierIndex = i / map->max_keypermod;
    if (code == 0 || modifierIndex == LockMapIndex || modifierIndex == Mod2MapIndex) {
      continue;
    }
    const auto byte = static_cast<unsigned>(static_cast<unsigned char>(keys[code / 8U]));
    held = ((byte >> (code % 8U)) & 1U) != 0;
  }
  XFreeModifiermap(map);
  return held;
}

bool XTestKeyEvents::activeWindowIsTerminal() {
  const auto active = x_->cardinals(x_->root(), "_NET_ACTIVE_WINDOW");
  if (!active || active->empty() || active->front() == 0) {
    return false;
  }
  const auto wmClass = x_->windowClass(static_cast<Window>(active->front()));
  return wmClass && isTerminalWindowClass(wmClass->first, wmClass->second);
}

KeyPostResult XTestKeyEvents::post(const KeyChord& chord) {
  if (!x_ || !hasXTest_) {
    return KeyPostResult::failed;
  }
  const KeyCode key = keycodeInActiveGroup(x_->display(), keysymFor(chord.key));
  if (key == 0) {
    return KeyPostResult::failed;
  }
  if (userHoldsModifier()) {
    return KeyPostResult::retry;
  }
  unsigned modifiers = chord.modifiers;
  if (chord == KeyChord::paste() && activeWindowIsTerminal()) {
    modifiers |= static_cast<unsigned>(KeyModifier::shift);
  }
  std::vector<KeyCode> held;
  for (const auto& modifier : kModifierKeys) {
    if ((modifiers & static_cast<unsigned>(modifier.modifier)) == 0) {
      continue;
    }
    const KeyCode code = XKeysymToKeycode(x_->display(), modifier.keysym);
    if (code == 0) {
      return KeyPostResult::failed;
    }
    held.push_back(code);
  }
  X11Connection::ErrorTrap trap(*x_);
  for (const KeyCode code : held) {
    XTestFakeKeyEvent(x_->display(), code, True, CurrentTime);
  }
  XTestFakeKeyEvent(x_->display(), key, True, CurrentTime);
  XTestFakeKeyEvent(x_->display(), key, False, CurrentTime);
  // Our own modifiers are released on every path, in reverse order.
  for (auto it = held.rbegin(); it != held.rend(); ++it) {
    XTestFakeKeyEvent(x_->display(), *it, False, CurrentTime);
  }
  return trap.succeeded() ? KeyPostResult::posted : KeyPostResult::failed;
}

}  // namespace wrenfold
