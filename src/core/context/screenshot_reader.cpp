#include "core/context/screenshot_reader.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "core/text/text.h"

namespace wrenfold {
namespace {

// Larger than any X11 window can be; keeps the conversion to int defined.
constexpr double kMaxPixels = 32767;

// Truncates a pixel length towards zero, at least 1.
int pixels(double value) {
  if (!(value >= 1)) {  // also NaN
    return 1;
  }
  return static_cast<int>(std::min(value, kMaxPixels));
}

bool bigEnough(const Rect& frame) {
  return frame.width > ScreenshotReader::kMinimumWindowSide &&
         frame.height > ScreenshotReader::kMinimumWindowSide;
}

// The first window with the largest value of `score`.
template <class Score>
const ShareableWindow* firstBest(const std::vector<const ShareableWindow*>& windows, Score score) {
  const ShareableWindow* best = nullptr;
  double bestScore = 0;
  for (const auto* window : windows) {
    const double value = score(*window);
    if (best == nullptr || value > bestScore) {
      best = window;
      bestScore = value;
    }
  }
  return best;
}

}  // namespace

void ScreenshotReader::Pending::then(Completion completion) {
  completion_ = std::move(completion);
  mainQueue_.post([self = shared_from_this()] { self->deliver(); });
}

void ScreenshotReader::Pending::whenTaken(std::function<void()> taken) {
  onTaken_ = std::move(taken);
  mainQueue_.post([self = shared_from_this()] { self->deliver(); });
}

void ScreenshotReader::Pending::pixelsTaken() {
  taken_ = true;
  deliver();
}

void ScreenshotReader::Pending::finished(std::optional<CapturedScreenshot> screenshot) {
  finished_ = true;
  screenshot_ = std::move(screenshot);
  deliver();
}

// Whatever has happened and is waited for, in order: the pixels, then the outcome.
void ScreenshotReader::Pending::deliver() {
  if ((taken_ || finished_) && onTaken_) {
    std::exchange(onTaken_, nullptr)();
  }
  if (finished_ && completion_) {
    std::exchange(completion_, nullptr)(std::exchange(screenshot_, std::nullopt));
  }
}

ScreenshotReader::WindowQuery ScreenshotReader::queryFor(const FocusedTarget& target) {
  return {target.processID, target.screenFrame, target.windowTitle, target.window};
}

std::shared_ptr<ScreenshotReader::Pending> ScreenshotReader::begin(WindowQuery query) {
  auto pending = std::make_shared<Pending>(mainQueue_);
  worker_.run([&capture = capture_, &codec = codec_, &worker = worker_, &mainQueue = mainQueue_,
               &logger = logger_, query = std::move(query), pending]() mutable {
    const auto finish = [&mainQueue, &logger, pending](Outcome outcome) {
      mainQueue.post([&logger, pending, outcome = std::make_shared<Outcome>(std::move(outcome))] {
        if (outcome->errorLine) {
          logger.error(*outcome->errorLine);
        }
        pending->finished(std::move(outcome->screenshot));
      });
    };
    // Told as soon as the display server has handed the pixels over: converting them, on a busy
    // machine longer than taking them, is not waited for either.
    bool told = false;
    const auto taken = [&] {
      if (!std::exchange(told, true)) {
        mainQueue.post([pending] { pending->pixelsTaken(); });
      }
    };
    auto pixels = takeBlocking(capture, query, taken);
    if (!pixels.image) {
      finish({std::nullopt, std::move(pixels.errorLine)});
      return;
    }
    taken();
    // On a busy machine scaling and encoding a large window took longer than finding the
    // target: what waits for the pixels (the panel) does not wait for them.
    worker.run([&codec, finish, image = std::make_shared<Image>(std::move(*pixels.image))] {
      finish(encodeBlocking(codec, std::move(*image)));
    });
  });
  return pending;
}

ScreenshotReader::Taken ScreenshotReader::takeBlocking(WindowCapture& capture, const WindowQuery& query,
                                                       const std::function<void()>& grabbed) {
  std::optional<ShareableWindow> window;
  if (query.windowID) {
    if (auto named = capture.shareableWindow(*query.windowID); named && *named) {
      window = captureWindow(query, {std::move(**named)});
    }
  }
  if (!window) {
    const auto windows = capture.shareableWindows();
    if (!windows) {
      return {std::nullopt, "screen capture failed: " + windows.error().localizedDescription()};
    }
    window = captureWindow(query, *windows);
  }
  if (!window) {
    return {std::nullopt, "screen capture failed: active app window is unavailable"};
  }
  auto image = capture.captureWindow(*window, captureSize(*window), grabbed);
  if (!image) {
    return {std::nullopt, "screen capture failed: " + image.error().localizedDescription()};
  }
  return {std::move(*image), std::nullopt};
}

// A window's pixels are megabytes: the image itself is encoded and shown wherever it fits
// already, not a copy of it.
ScreenshotReader::Outcome ScreenshotReader::encodeBlocking(ImageCodec& codec, Image image) {
  const auto forJpeg = reducedImage(codec, image, kJpegMaxPixelSize);
  auto jpeg = codec.jpegData(forJpeg ? *forJpeg : image, kJpegQuality);
  if (!jpeg) {
    return {std::nullopt, "screen capture encoding failed"};
  }
  auto preview = reducedImage(codec, image, kPreviewMaxPixelSize);
  return {CapturedScreenshot{preview ? std::move(*preview) : std::move(image), std::move(*jpeg)},
          std::nullopt};
}

std::optional<ShareableWindow> ScreenshotReader::captureWindow(const WindowQuery& query,
                                                               const std::vector<ShareableWindow>& windows) {
  std::vector<const ShareableWindow*> candidates;
  for (const auto& window : windows) {
    if (window.processID == query.processID && window.isOnScreen && window.layer == 0 &&
        bigEnough(window.frame)) {
      candidates.push_back(&window);
    }
  }
  if (candidates.empty()) {
    return std::nullopt;
  }
  if (query.windowID) {
    const auto named = std::ranges::find(candidates, *query.windowID, &ShareableWindow::windowID);
    if (named != candidates.end()) {
      return **named;
    }
  }
  if (query.screenFrame && bigEnough(*query.screenFrame)) {
    const Rect& focused = *query.screenFrame;
    const auto overlap = [&](const ShareableWindow& w) { return w.frame.intersectionArea(focused); };
    const auto* best = firstBest(candidates, overlap);
    if (overlap(*best) >= focused.area() / 2) {
      return *best;
    }
  }
  if (query.windowTitle) {
    const std::string title = text::trim(*query.windowTitle);
    if (!title.empty()) {
      for (const auto* window : candidates) {
        if (text::trim(window->title) == title) {
          return *window;
        }
      }
    }
  }
  return *firstBest(candidates, [](const ShareableWindow& w) { return w.frame.area(); });
}

PixelSize ScreenshotReader::captureSize(const ShareableWindow& window) {
  return {pixels(window.frame.width * window.pointPixelScale),
          pixels(window.frame.height * window.pointPixelScale)};
}

std::optional<PixelSize> ScreenshotReader::reducedSize(int width, int height, int maxPixelSize) {
  const int longest = std::max(width, height);
  if (longest <= maxPixelSize) {
    return std::nullopt;
  }
  const double scale = static_cast<double>(maxPixelSize) / static_cast<double>(longest);
  return PixelSize{pixels(width * scale), pixels(height * scale)};
}

std::optional<Image> ScreenshotReader::reducedImage(ImageCodec& codec, const Image& image, int maxPixelSize) {
  const auto size = reducedSize(image.width, image.height, maxPixelSize);
  if (!size) {
    return std::nullopt;
  }
  auto resized = codec.resized(image, size->width, size->height);
  return resized ? std::optional<Image>(std::move(*resized)) : std::nullopt;
}

}  // namespace wrenfold
