#pragma once

// A recorded global shortcut in its stored form: a macOS virtual key code and a Carbon modifier
// mask. The stored format outlives any one desktop, so every back-end maps its own keys to and
// from these numbers.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wrenfold {

// Carbon modifier mask bits.
inline constexpr std::uint32_t kCarbonCommand = 256;  // Super on this desktop
inline constexpr std::uint32_t kCarbonShift = 512;
inline constexpr std::uint32_t kCarbonOption = 2048;  // Alt
inline constexpr std::uint32_t kCarbonControl = 4096;
inline constexpr std::uint32_t kCarbonModifierMask =
    kCarbonCommand | kCarbonShift | kCarbonOption | kCarbonControl;

struct Shortcut {
  std::uint32_t carbonKeyCode = 0;
  std::uint32_t carbonModifiers = 0;

  auto operator<=>(const Shortcut&) const = default;
};

// The JSON text stored in the user defaults: {"carbonKeyCode":49,"carbonModifiers":2048}.
[[nodiscard]] std::string encodeShortcut(const Shortcut& shortcut);
// Absent when `text` is not that object with two integers in the 32-bit range.
[[nodiscard]] std::optional<Shortcut> decodeShortcut(std::string_view text);

// What the recorder shows: "Ctrl+Alt+Space". Modifiers come in the order Ctrl, Alt, Shift, Super.
[[nodiscard]] std::string describeShortcut(const Shortcut& shortcut);

}  // namespace wrenfold
