#include "platform/linux/x11_key_mapping.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <algorithm>

#include "core/records/key_code_table.h"

namespace wrenfold {
namespace {

constexpr int kFirstFreeModifier = Mod1MapIndex;

bool holds(const std::vector<KeySym>& keysyms, std::initializer_list<KeySym> wanted) {
  return std::ranges::any_of(keysyms, [&](KeySym k) { return std::ranges::find(wanted, k) != wanted.end(); });
}

unsigned maskOf(const std::array<std::vector<KeySym>, 8>& map, std::initializer_list<KeySym> wanted,
                int firstIndex = kFirstFreeModifier) {
  for (int index = firstIndex; index < 8; ++index) {
    if (holds(map[static_cast<std::size_t>(index)], wanted)) {
      return 1U << index;
    }
  }
  return 0;
}

KeySym firstKeysym(Display* display, unsigned keycode, unsigned group) {
  return XkbKeycodeToKeysym(display, static_cast<KeyCode>(keycode), static_cast<int>(group), 0);
}

}  // namespace

X11ModifierMasks modifierMasksFrom(const std::array<std::vector<KeySym>, 8>& keysymsByModifier) {
  X11ModifierMasks masks;
  masks.alt = maskOf(keysymsByModifier, {XK_Alt_L, XK_Alt_R});
  if (masks.alt == 0) {
    masks.alt = maskOf(keysymsByModifier, {XK_Meta_L, XK_Meta_R});
  }
  masks.super = maskOf(keysymsByModifier, {XK_Super_L, XK_Super_R});
  masks.capsLock = maskOf(keysymsByModifier, {XK_Caps_Lock}, LockMapIndex);
  masks.numLock = maskOf(keysymsByModifier, {XK_Num_Lock});
  masks.scrollLock = maskOf(keysymsByModifier, {XK_Scroll_Lock});
  return masks;
}

X11ModifierMasks readModifierMasks(Display* display) {
  XModifierKeymap* map = XGetModifierMapping(display);
  if (map == nullptr) {
    return {};
  }
  std::array<std::vector<KeySym>, 8> keysyms;
  for (int index = 0; index < 8; ++index) {
    for (int slot = 0; slot < map->max_keypermod; ++slot) {
      const KeyCode code = map->modifiermap[index * map->max_keypermod + slot];
      if (code != 0) {
        keysyms[static_cast<std::size_t>(index)].push_back(firstKeysym(display, code, 0));
      }
    }
  }
  XFreeModifiermap(map);
  return modifierMasksFrom(keysyms);
}

unsigned shortcutModifierBits(const X11ModifierMasks& masks) {
  return ShiftMask | ControlMask | masks.alt | masks.super;
}

std::uint32_t carbonModifiersFromState(unsigned state, const X11ModifierMasks& masks) {
  std::uint32_t carbon = 0;
  const auto add = [&](unsigned mask, std::uint32_t bit) {
    if (mask != 0 && (state & mask) != 0) {
      carbon |= bit;
    }
  };
  add(ControlMask, kCarbonControl);
  add(ShiftMask, kCarbonShift);
  add(masks.alt, kCarbonOption);
  add(masks.super, kCarbonCommand);
  return carbon;
}

std::optional<unsigned> stateFromCarbonModifiers(std::uint32_t carbon, const X11ModifierMasks& masks) {
  unsigned state = 0;
  const auto add = [&](std::uint32_t bit, unsigned mask) {
    if ((carbon & bit) == 0) {
      return true;
    }
    state |= mask;
    return mask != 0;
  };
  const bool complete = add(kCarbonControl, ControlMask) && add(kCarbonShift, ShiftMask) &&
                        add(kCarbonOption, masks.alt) && add(kCarbonCommand, masks.super);
  return complete ? std::optional(state) : std::nullopt;
}

std::vector<unsigned> lockVariants(const X11ModifierMasks& masks) {
  std::vector<unsigned> locks;
  for (const unsigned lock : {masks.capsLock, masks.numLock, masks.scrollLock}) {
    // A lock sharing a bit with a shortcut modifier would turn the grab into another shortcut.
    if (lock != 0 && (lock & shortcutModifierBits(masks)) == 0 &&
        std::ranges::find(locks, lock) == locks.end()) {
      locks.push_back(lock);
    }
  }
  std::vector<unsigned> variants{0};
  for (const unsigned lock : locks) {
    const std::size_t count = variants.size();
    for (std::size_t i = 0; i < count; ++i) {
      variants.push_back(variants[i] | lock);
    }
  }
  return variants;
}

ModifierKeyRole modifierKeyRole(KeySym keysym) {
  switch (keysym) {
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
      return ModifierKeyRole::alt;
    case XK_Control_L:
    case XK_Control_R:
      return ModifierKeyRole::control;
    case XK_Shift_L:
    case XK_Shift_R:
      return ModifierKeyRole::shift;
    case XK_Super_L:
    case XK_Super_R:
    case XK_Hyper_L:
    case XK_Hyper_R:
      return ModifierKeyRole::super;
    default:
      return ModifierKeyRole::none;
  }
}

std::array<ModifierKeyRole, 256> readModifierKeyRoles(Display* display) {
  std::array<ModifierKeyRole, 256> roles{};
  int minimum = 0;
  int maximum = 0;
  XDisplayKeycodes(display, &minimum, &maximum);
  for (int code = std::max(minimum, 0); code <= std::min(maximum, 255); ++code) {
    roles[static_cast<std::size_t>(code)] =
        modifierKeyRole(firstKeysym(display, static_cast<unsigned>(code), 0));
  }
  return roles;
}

std::optional<Shortcut> shortcutForKeyEvent(Display* display, unsigned keycode, unsigned state,
                                            const X11ModifierMasks& masks) {
  if (keycode > 255) {
    return std::nullopt;
  }
  const unsigned group = XkbGroupForCoreState(state);
  auto code = macKeyCodeForKeysym(static_cast<std::uint32_t>(firstKeysym(display, keycode, group)));
  if (!code && group != 0) {
    code = macKeyCodeForKeysym(static_cast<std::uint32_t>(firstKeysym(display, keycode, 0)));
  }
  if (!code) {
    return std::nullopt;
  }
  return Shortcut{*code, carbonModifiersFromState(state, masks)};
}

KeyCode keycodeForShortcutKey(Display* display, std::uint32_t carbonKeyCode) {
  const auto keysym = keysymForMacKeyCode(carbonKeyCode);
  return keysym ? XKeysymToKeycode(display, static_cast<KeySym>(*keysym)) : 0;
}

}  // namespace wrenfold
