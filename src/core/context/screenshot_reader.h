#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/geometry.h"
#include "core/platform/image_codec.h"
#include "core/platform/main_queue.h"
#include "core/platform/window_capture.h"
#include "core/platform/work_queue.h"
#include "core/records/image.h"
#include "core/support/app_logger.h"
#include "core/target/focused_target.h"

namespace wrenfold {

// One window capture: a preview and the JPEG sent to the model.
struct CapturedScreenshot {
  Image image;                     // longest side at most 1200 pixels
  std::vector<std::uint8_t> data;  // JPEG of the capture at most 2048 pixels on its longest side
  bool operator==(const CapturedScreenshot&) const = default;
};

// Captures the target application's focused window. Listing, capturing, scaling and encoding
// block, so they run on the work queue; the result comes back through the main queue. A
// missing screenshot is never an error, only a line in the log.
class ScreenshotReader {
 public:
  using Completion = std::function<void(std::optional<CapturedScreenshot>)>;

  static constexpr double kMinimumWindowSide = 20;  // points; smaller windows are never chosen
  static constexpr int kJpegMaxPixelSize = 2048;
  static constexpr int kPreviewMaxPixelSize = 1200;
  static constexpr double kJpegQuality = 0.82;

  // What the window choice needs from a target: plain values, safe to hand to the worker.
  struct WindowQuery {
    std::int32_t processID = 0;
    std::optional<Rect> screenFrame;
    std::optional<std::string> windowTitle;
    std::optional<std::uint64_t> windowID;  // the window the application was found by
  };

  // A capture under way, begun before anyone waits for it (the target's window is known before
  // its focused field is). Main thread only.
  class Pending : public std::enable_shared_from_this<Pending> {
   public:
    explicit Pending(MainQueue& mainQueue) : mainQueue_(mainQueue) {}
    // `completion` runs later, exactly once, with the outcome.
    void then(Completion completion);
    // `taken` runs later, once nothing more is taken from the screen (the pixels are in hand,
    // or the capture failed), and before the completion. What happened before either call is
    // told as it would have been after it.
    void whenTaken(std::function<void()> taken);

   private:
    friend class ScreenshotReader;
    void pixelsTaken();
    void finished(std::optional<CapturedScreenshot> screenshot);
    void deliver();

    MainQueue& mainQueue_;
    bool taken_ = false;
    bool finished_ = false;
    std::optional<CapturedScreenshot> screenshot_;
    Completion completion_;
    std::function<void()> onTaken_;
  };

  // The ports and the logger must outlive every capture in flight.
  ScreenshotReader(WindowCapture& capture, ImageCodec& codec, WorkQueue& worker, MainQueue& mainQueue,
                   AppLogger& logger)
      : capture_(capture), codec_(codec), worker_(worker), mainQueue_(mainQueue), logger_(logger) {}

  // Begins capturing the window `query` names, on the main thread; the outcome waits in the
  // result until asked for. Scaling and encoding the pixels follow as a task of their own.
  [[nodiscard]] std::shared_ptr<Pending> begin(WindowQuery query);
  // The query for a target's window.
  [[nodiscard]] static WindowQuery queryFor(const FocusedTarget& target);
  // The queue completions come back on.
  [[nodiscard]] MainQueue& mainQueue() { return mainQueue_; }
  // Whether this session can capture windows at all (a Wayland session cannot).
  [[nodiscard]] bool sessionCaptures() { return capture_.canCaptureWindows(); }

  // The window to capture among `windows`: the one named, else by overlap with the focused
  // window's frame, else by title, else the largest of the process.
  [[nodiscard]] static std::optional<ShareableWindow> captureWindow(
      const WindowQuery& query, const std::vector<ShareableWindow>& windows);
  // The window's size in pixels, each side at least 1.
  [[nodiscard]] static PixelSize captureSize(const ShareableWindow& window);
  // The size an image is drawn at to fit `maxPixelSize`; absent when it fits already.
  [[nodiscard]] static std::optional<PixelSize> reducedSize(int width, int height, int maxPixelSize);

 private:
  struct Outcome {
    std::optional<CapturedScreenshot> screenshot;
    std::optional<std::string> errorLine;
  };
  struct Taken {
    std::optional<Image> image;
    std::optional<std::string> errorLine;
  };
  [[nodiscard]] static Taken takeBlocking(WindowCapture& capture, const WindowQuery& query,
                                          const std::function<void()>& grabbed);
  [[nodiscard]] static Outcome encodeBlocking(ImageCodec& codec, Image image);
  // `image` scaled down to fit `maxPixelSize`; absent when it fits already or cannot be scaled.
  [[nodiscard]] static std::optional<Image> reducedImage(ImageCodec& codec, const Image& image,
                                                         int maxPixelSize);

  WindowCapture& capture_;
  ImageCodec& codec_;
  WorkQueue& worker_;
  MainQueue& mainQueue_;
  AppLogger& logger_;
};

}  // namespace wrenfold
