#include "platform/linux/x11_toplevel_geometry.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/linux/x11_connection.h"

namespace wrenfold {

ToplevelMapping toplevelMapping(Rect toolkitWindow, Rect client, std::optional<ToplevelInsets> frameExtents) {
  ToplevelMapping mapping;
  if (toolkitWindow.width <= 0 || toolkitWindow.height <= 0) {
    return mapping;
  }
  // Both sides must agree: a toolkit window smaller than the client in one direction only is
  // another window (a dialog of the same program), not a scale.
  const ToplevelInsets frame = frameExtents.value_or(ToplevelInsets{});
  const double scale = std::round((client.width - frame.left - frame.right) / toolkitWindow.width);
  mapping.scale =
      scale >= 2 && scale == std::round((client.height - frame.top - frame.bottom) / toolkitWindow.height)
          ? scale
          : 1;
  if (toolkitWindow.x != 0 || toolkitWindow.y != 0) {
    return mapping;  // on screen, as it says
  }
  mapping.windowRelative = true;
  const ToplevelInsets insets = frameExtents.value_or(
      ToplevelInsets{std::max(0.0, (client.width - toolkitWindow.width * mapping.scale) / 2),
                     std::max(0.0, (client.height - toolkitWindow.height * mapping.scale) / 2)});
  mapping.origin = {client.x + insets.left, client.y + insets.top};
  return mapping;
}

bool fitsWindow(Rect windowRelative, Size toolkitWindow) {
  return windowRelative.width >= 0 && windowRelative.height >= 0 &&
         windowRelative.x >= -toolkitWindow.width && windowRelative.y >= -toolkitWindow.height &&
         windowRelative.x + windowRelative.width <= 2 * toolkitWindow.width &&
         windowRelative.y + windowRelative.height <= 2 * toolkitWindow.height;
}

std::unique_ptr<X11ToplevelGeometry> X11ToplevelGeometry::open() {
  auto connection = X11Connection::open();
  return connection ? std::unique_ptr<X11ToplevelGeometry>(new X11ToplevelGeometry(std::move(connection)))
                    : nullptr;
}

X11ToplevelGeometry::X11ToplevelGeometry(std::unique_ptr<X11Connection> connection)
    : x_(std::move(connection)) {}
X11ToplevelGeometry::~X11ToplevelGeometry() = default;

std::optional<X11ToplevelGeometry::Toplevel> X11ToplevelGeometry::toplevelOf(std::int32_t processID) {
  std::vector<unsigned long> candidates =
      x_->cardinals(x_->root(), "_NET_CLIENT_LIST_STACKING").value_or(std::vector<unsigned long>{});
  std::reverse(candidates.begin(), candidates.end());  // topmost first
  if (const auto active = x_->cardinals(x_->root(), "_NET_ACTIVE_WINDOW"); active && !active->empty()) {
    candidates.insert(candidates.begin(), active->front());
  }
  for (const unsigned long candidate : candidates) {
    const auto window = static_cast<Window>(candidate);
    const auto pid = x_->cardinals(window, "_NET_WM_PID");
    if (window == 0 || !pid || pid->empty() || static_cast<std::int32_t>(pid->front()) != processID) {
      continue;
    }
    X11Connection::ErrorTrap trap(*x_);
    XWindowAttributes attributes{};
    int x = 0;
    int y = 0;
    Window child = 0;
    const bool read = XGetWindowAttributes(x_->display(), window, &attributes) != 0 &&
                      XTranslateCoordinates(x_->display(), window, x_->root(), 0, 0, &x, &y, &child) != 0;
    if (!trap.succeeded() || !read || attributes.map_state != IsViewable) {
      continue;
    }
    Toplevel toplevel{Rect{static_cast<double>(x), static_cast<double>(y),
                           static_cast<double>(attributes.width), static_cast<double>(attributes.height)},
                      std::nullopt};
    // left, right, top, bottom
    if (const auto extents = x_->cardinals(window, "_GTK_FRAME_EXTENTS"); extents && extents->size() == 4) {
      toplevel.frameExtents =
          ToplevelInsets{static_cast<double>((*extents)[0]), static_cast<double>((*extents)[2]),
                         static_cast<double>((*extents)[1]), static_cast<double>((*extents)[3])};
    }
    return toplevel;
  }
  return std::nullopt;
}

}  // namespace wrenfold
