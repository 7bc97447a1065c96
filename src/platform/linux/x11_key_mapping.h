#pragma once

// X11 keys and modifier states to and from the stored shortcut format. Which modifier bit means
// Alt, Super, Num Lock or Scroll Lock is the server's choice, read from its modifier map; the
// pure mapping takes those masks as a value so it can be tested without a server.

#include <X11/X.h>
#include <X11/Xlib.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/records/shortcut.h"

namespace wrenfold {

struct X11ModifierMasks {
  unsigned alt = Mod1Mask;
  unsigned super = Mod4Mask;
  unsigned capsLock = LockMask;
  unsigned numLock = Mod2Mask;
  unsigned scrollLock = 0;

  bool operator==(const X11ModifierMasks&) const = default;
};

// The masks from the key symbols bound to each of the eight modifiers (Shift, Lock, Control,
// Mod1 ... Mod5, in that order). A role no modifier carries gets 0.
[[nodiscard]] X11ModifierMasks modifierMasksFrom(const std::array<std::vector<KeySym>, 8>& keysymsByModifier);
// The server's current masks; the usual ones when the map cannot be read.
[[nodiscard]] X11ModifierMasks readModifierMasks(Display* display);

// Control, Shift, Alt and Super bits of a state.
[[nodiscard]] unsigned shortcutModifierBits(const X11ModifierMasks& masks);
[[nodiscard]] std::uint32_t carbonModifiersFromState(unsigned state, const X11ModifierMasks& masks);
// Absent when the shortcut needs a modifier this keyboard does not have (Super without a
// modifier bit for it): grabbing the key without it would take the bare key.
[[nodiscard]] std::optional<unsigned> stateFromCarbonModifiers(std::uint32_t carbon,
                                                               const X11ModifierMasks& masks);
// Every combination of the lock modifiers, starting with none: a grab must cover each, or the
// shortcut dies while Caps Lock or Num Lock is on.
[[nodiscard]] std::vector<unsigned> lockVariants(const X11ModifierMasks& masks);

// Which modifier flag a key symbol stands for, as the double tap counts them.
enum class ModifierKeyRole : std::uint8_t { none, alt, control, shift, super };
[[nodiscard]] ModifierKeyRole modifierKeyRole(KeySym keysym);
// The role of every keycode on the current keyboard (its first symbol in the first group).
[[nodiscard]] std::array<ModifierKeyRole, 256> readModifierKeyRoles(Display* display);

// The shortcut a key event stands for: the key's unshifted symbol in the event's layout group,
// else in the first group (a Latin layout next to a Cyrillic one), and the event's modifiers.
[[nodiscard]] std::optional<Shortcut> shortcutForKeyEvent(Display* display, unsigned keycode, unsigned state,
                                                          const X11ModifierMasks& masks);
// The keycode that types the stored key on the current keyboard; 0 when there is none.
[[nodiscard]] KeyCode keycodeForShortcutKey(Display* display, std::uint32_t carbonKeyCode);

}  // namespace wrenfold
