#pragma once

// The tray panel's colours on X11: the system-tray manager (the owner of _NET_SYSTEM_TRAY_S<n>)
// of GNOME, Xfce, MATE and others publishes the colours its icons should use in
// _NET_SYSTEM_TRAY_COLORS, so an icon can follow the panel instead of the application's theme.

#include <cstdint>
#include <optional>
#include <span>

namespace wrenfold {

struct RgbColor {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const RgbColor&) const = default;
};

// The foreground ("normal") colour from the property's values: twelve 16-bit channels, normal,
// error, warning and success, each red, green, blue. Absent when there are fewer than three.
[[nodiscard]] std::optional<RgbColor> trayForegroundFromProperty(std::span<const unsigned long> values);

// Asks the X server of $DISPLAY; absent without a display, a tray manager or the property.
[[nodiscard]] std::optional<RgbColor> systemTrayForeground();

}  // namespace wrenfold
