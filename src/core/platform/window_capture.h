#pragma once

// The window-capture port: the windows that may be captured and one capture. Both calls block
// and are made on a worker thread, never on the main thread; implementations are thread-safe.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/geometry.h"
#include "core/records/image.h"
#include "core/support/failure.h"

namespace wrenfold {

struct ShareableWindow {
  std::uint64_t windowID = 0;
  std::int32_t processID = 0;  // owning application's process
  bool isOnScreen = false;     // mapped and viewable on the current desktop
  int layer = 0;               // 0 for normal and dialog windows
  Rect frame;                  // screen points, top-left origin
  std::string title;           // empty when it has none
  double pointPixelScale = 1;  // pixels per point for this window
  bool operator==(const ShareableWindow&) const = default;
};

struct PixelSize {
  int width = 0;
  int height = 0;
  bool operator==(const PixelSize&) const = default;
};

class WindowCapture {
 public:
  WindowCapture() = default;
  virtual ~WindowCapture() = default;
  WindowCapture(const WindowCapture&) = delete;
  WindowCapture& operator=(const WindowCapture&) = delete;

  // Whether windows can be captured in this session at all (false on a Wayland session or
  // without the permission); never prompts.
  [[nodiscard]] virtual bool canCaptureWindows() = 0;
  // Whether a capture shows the parts of a window that other windows cover (Wrenfold's own
  // panel included) with the window's own pixels; false when such parts come out blank, as on
  // an X11 desktop without a compositor. Thread-safe; may ask the display server.
  [[nodiscard]] virtual bool keepsCoveredPixels() = 0;
  // All windows available for capture, in the system's stacking order; a failure carries a
  // Chinese description.
  [[nodiscard]] virtual Result<std::vector<ShareableWindow>> shareableWindows() = 0;
  // The window `windowID` as shareableWindows() would list it, found without listing the others;
  // absent when it is not listed (gone, or not one of the window manager's). The default looks
  // it up in the list.
  [[nodiscard]] virtual Result<std::optional<ShareableWindow>> shareableWindow(std::uint64_t windowID) {
    auto windows = shareableWindows();
    if (!windows) {
      return fail(windows.error());
    }
    for (auto& window : *windows) {
      if (window.windowID == windowID) {
        return std::move(window);
      }
    }
    return std::nullopt;
  }
  // One image of `window` alone (covered parts included where possible, no cursor) at `size`
  // pixels; a failure (window gone, capture refused) carries a Chinese description. `grabbed`,
  // when given, is called once the display server has handed over the pixels, before they are
  // converted: whatever would cover the window from then on is not in the image.
  [[nodiscard]] virtual Result<Image> captureWindow(const ShareableWindow& window, PixelSize size,
                                                    const std::function<void()>& grabbed) = 0;
};

}  // namespace wrenfold
