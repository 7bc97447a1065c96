#include "platform/linux/x11_tray_colors.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

#include "platform/linux/x11_connection.h"

namespace wrenfold {

std::optional<RgbColor> trayForegroundFromProperty(std::span<const unsigned long> values) {
  if (values.size() < 3) {
    return std::nullopt;
  }
  const auto channel = [](unsigned long v) { return static_cast<std::uint8_t>((v & 0xffffu) >> 8); };
  return RgbColor{channel(values[0]), channel(values[1]), channel(values[2])};
}

std::optional<RgbColor> systemTrayForeground() {
  const auto x = X11Connection::open();
  if (!x) {
    return std::nullopt;
  }
  Display* display = x->display();
  const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display));
  const Window manager = XGetSelectionOwner(display, XInternAtom(display, selection.c_str(), False));
  if (manager == None) {
    return std::nullopt;
  }
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const Atom colors = XInternAtom(display, "_NET_SYSTEM_TRAY_COLORS", False);
  std::optional<RgbColor> foreground;
  X11Connection::ErrorTrap trap(*x);  // the manager may vanish meanwhile (BadWindow)
  if (XGetWindowProperty(display, manager, colors, 0, 12, False, XA_CARDINAL, &type, &format, &count, &after,
                         &data) == Success &&
      type == XA_CARDINAL && format == 32 && data != nullptr) {
    // Format 32 properties come back as an array of long, whatever its width.
    foreground = trayForegroundFromProperty(std::span(reinterpret_cast<const unsigned long*>(data), count));
  }
  if (data != nullptr) {
    XFree(data);
  }
  return foreground;
}

}  // namespace wrenfold
