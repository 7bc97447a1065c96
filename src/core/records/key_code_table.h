#pragma once

// The keys a shortcut may use, in one table: the macOS virtual key code kept in the stored
// format, the desktop's key symbol (the X11/xkb keysym number, which names the same key on every
// Linux back-end) and the label the recorder shows.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace wrenfold {

struct KeyCodeEntry {
  std::uint32_t macKeyCode;
  std::uint32_t keysym;  // the symbol the key produces without Shift
  std::string_view label;
};

// One entry per key, in key-code order of the families (letters, digits, punctuation, editing
// and navigation, function keys, keypad).
[[nodiscard]] std::span<const KeyCodeEntry> keyCodeTable();

// The key a symbol belongs to. Besides each key's own symbol this accepts capital letters and
// the keypad's navigation symbols (KP_Home is keypad 7 with Num Lock off), so a key reads the
// same whatever the lock state.
[[nodiscard]] std::optional<std::uint32_t> macKeyCodeForKeysym(std::uint32_t keysym);
// The symbol to look a stored key up by on the current keyboard.
[[nodiscard]] std::optional<std::uint32_t> keysymForMacKeyCode(std::uint32_t macKeyCode);
// "Space", "F5", "A"; "未知键" for a key outside the table.
[[nodiscard]] std::string_view keyLabel(std::uint32_t macKeyCode);
// F1 to F20: the only keys accepted without a modifier other than Shift.
[[nodiscard]] bool isFunctionKey(std::uint32_t macKeyCode);

// Key codes the recorder's rules name.
inline constexpr std::uint32_t kMacKeyTab = 0x30;
inline constexpr std::uint32_t kMacKeySpace = 0x31;
inline constexpr std::uint32_t kMacKeyDelete = 0x33;  // Backspace
inline constexpr std::uint32_t kMacKeyEscape = 0x35;
inline constexpr std::uint32_t kMacKeyForwardDelete = 0x75;
inline constexpr std::uint32_t kMacKeyComma = 0x2B;
inline constexpr std::uint32_t kMacKeyQ = 0x0C;

}  // namespace wrenfold
