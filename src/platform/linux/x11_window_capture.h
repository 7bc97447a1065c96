#pragma once

// The window-capture port over X11: windows from the EWMH client list, pixels through
// XComposite when a compositing manager runs (the whole window, even covered), else from the
// root window over the window's rectangle, with the parts other windows cover left white.
// No cursor. The pixels come through memory shared with the X server where it can (MIT-SHM),
// else over the socket. Called on a worker thread: one private connection, used by one caller
// at a time.

#include <X11/Xlib.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "core/platform/window_capture.h"
#include "platform/linux/x11_connection.h"
#include "platform/linux/x11_pixels.h"

namespace wrenfold {

class X11WindowCapture final : public WindowCapture {
 public:
  X11WindowCapture();
  ~X11WindowCapture() override;

  [[nodiscard]] bool canCaptureWindows() override;
  [[nodiscard]] bool keepsCoveredPixels() override;
  [[nodiscard]] Result<std::vector<ShareableWindow>> shareableWindows() override;
  [[nodiscard]] Result<std::optional<ShareableWindow>> shareableWindow(std::uint64_t windowID) override;
  [[nodiscard]] Result<Image> captureWindow(const ShareableWindow& window, PixelSize size,
                                            const std::function<void()>& grabbed) override;

 private:
  struct WindowQuestions;

  [[nodiscard]] X11Connection* connection();
  [[nodiscard]] WindowQuestions ask(Window window);
  [[nodiscard]] std::optional<ShareableWindow> describe(WindowQuestions& asked, long currentDesktop);
  [[nodiscard]] bool compositing();
  [[nodiscard]] std::optional<Window> frameOf(Window window, xcb_query_tree_cookie_t askedTree);
  class SharedSegment;
  struct PendingPixels;
  [[nodiscard]] PendingPixels askPixels(xcb_drawable_t drawable, const PixelRect& area);
  [[nodiscard]] std::optional<Image> takePixels(PendingPixels& asked, std::optional<xcb_visualid_t> visual,
                                                const std::function<void()>& grabbed);
  [[nodiscard]] std::optional<Image> convertedPixels(std::uint8_t depth, xcb_visualid_t visualID,
                                                     std::span<const std::uint8_t> bytes, int width,
                                                     int height);
  [[nodiscard]] std::optional<Image> captureComposited(Window window, const std::function<void()>& grabbed);
  [[nodiscard]] std::optional<Image> captureFromRoot(Window window, const std::function<void()>& grabbed);

  enum class SharedMemory { unknown, usable, unusable };

  std::mutex mutex_;
  std::unique_ptr<X11Connection> x_;
  bool triedToConnect_ = false;
  SharedMemory sharedMemory_ = SharedMemory::unknown;
  std::unique_ptr<SharedSegment> segment_;  // attached, as large as the largest capture so far
};

}  // namespace wrenfold
