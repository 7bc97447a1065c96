#pragma once

// Where a program's window is on the X screen, for toolkits that report positions only within
// their own window (GTK 4 answers screen queries with window positions, its window at (0, 0)).
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>

#include "core/platform/geometry.h"

namespace wrenfold {

class X11Connection;

// The space a toolkit's window coordinates start from, inside the X11 client window.
struct ToplevelInsets {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
};

// How a program's reported rectangles become X11 screen pixels.
struct ToplevelMapping {
  bool windowRelative = false;  // its window coordinates are to be asked for
  Point origin;                 // added to what it reports: where its window coordinates start, or (0, 0)
  double scale = 1;             // device pixels per reported pixel (GTK with GDK_SCALE reports logical ones)

  [[nodiscard]] Rect toScreen(Rect reported) const {
    return {origin.x + reported.x * scale, origin.y + reported.y * scale, reported.width * scale,
            reported.height * scale};
  }
};

// The mapping for a program whose window the toolkit reports at `toolkitWindow` when asked for
// screen coordinates, and which X11 shows as the client window `client` with the client-side
// decoration and shadow `frameExtents` (_GTK_FRAME_EXTENTS, device pixels). The scale is the
// whole ratio of the client's width within its frame extents to the toolkit's (a scaled GTK 4
// window's shadow is wide enough to tip the ratio of the whole client to the next number). A window reported
// at (0, 0) with a real size is a toolkit that knows no screen positions (GTK 4; it answers screen queries
// for characters with garbage), or one whose window is at the screen's corner, where both agree: its window
// coordinates are asked for, and start at the client's corner plus the frame extents, or without them, plus
// an even share of what the client has beyond the toolkit's window (GTK 4 keeps a resize border of equal
// width all round when no extents are asked for).
[[nodiscard]] ToplevelMapping toplevelMapping(Rect toolkitWindow, Rect client,
                                              std::optional<ToplevelInsets> frameExtents);

// Whether a rectangle in window coordinates can belong to a window of `toolkitWindow`'s size:
// GTK 4 answers some window-coordinate queries with uninitialised memory.
[[nodiscard]] bool fitsWindow(Rect windowRelative, Size toolkitWindow);

class X11ToplevelGeometry {
 public:
  // Null without an X display.
  [[nodiscard]] static std::unique_ptr<X11ToplevelGeometry> open();
  ~X11ToplevelGeometry();
  X11ToplevelGeometry(const X11ToplevelGeometry&) = delete;
  X11ToplevelGeometry& operator=(const X11ToplevelGeometry&) = delete;

  struct Toplevel {
    Rect client;                                 // the client window on the root
    std::optional<ToplevelInsets> frameExtents;  // _GTK_FRAME_EXTENTS, when set
  };
  // The window of `processID`: the active window when it is that program's, else its topmost
  // managed window. Absent when it has none.
  [[nodiscard]] std::optional<Toplevel> toplevelOf(std::int32_t processID);

 private:
  explicit X11ToplevelGeometry(std::unique_ptr<X11Connection> connection);
  std::unique_ptr<X11Connection> x_;
};

}  // namespace wrenfold
