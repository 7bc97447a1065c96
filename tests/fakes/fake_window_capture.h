#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/platform/window_capture.h"

namespace wrenfold::testing {

// A window list the test writes and a capture that returns a solid image of the requested
// size. Thread-safe, like the real one: every member locks.
class FakeWindowCapture final : public WindowCapture {
 public:
  [[nodiscard]] bool canCaptureWindows() override {
    return locked([&] { return available_; });
  }
  [[nodiscard]] bool keepsCoveredPixels() override {
    return locked([&] { return keepsCoveredPixels_; });
  }
  [[nodiscard]] Result<std::vector<ShareableWindow>> shareableWindows() override {
    std::lock_guard lock(mutex_);
    ++listings_;
    if (listingFailure_) {
      return failPlatform(*listingFailure_);
    }
    return windows_;
  }
  [[nodiscard]] Result<std::optional<ShareableWindow>> shareableWindow(std::uint64_t windowID) override {
    if (!locked([&] { return describesOne_; })) {
      return WindowCapture::shareableWindow(windowID);
    }
    return locked([&]() -> std::optional<ShareableWindow> {
      for (const auto& window : windows_) {
        if (window.windowID == windowID) {
          return window;
        }
      }
      return std::nullopt;
    });
  }
  [[nodiscard]] Result<Image> captureWindow(const ShareableWindow& window, PixelSize size,
                                            const std::function<void()>& grabbed) override {
    std::lock_guard lock(mutex_);
    captures_.push_back({window.windowID, size});
    if (captureFailure_) {
      return failPlatform(*captureFailure_);
    }
    if (grabbed) {
      grabbed();
    }
    const auto bytes = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 4u;
    return Image{size.width, size.height, std::vector<std::uint8_t>(bytes, 0xff)};
  }

  // --- test interface
  void addWindow(ShareableWindow window) {
    locked([&] { windows_.push_back(std::move(window)); });
  }
  void failListing(std::string description) {
    locked([&] { listingFailure_ = std::move(description); });
  }
  void failCapture(std::string description) {
    locked([&] { captureFailure_ = std::move(description); });
  }
  void setAvailable(bool available) {
    locked([&] { available_ = available; });
  }
  // As the X11 capture: one window is described without listing the others.
  void describeWindowsOneByOne() {
    locked([&] { describesOne_ = true; });
  }
  // As without a compositor: covered parts of a window come out blank.
  void loseCoveredPixels() {
    locked([&] { keepsCoveredPixels_ = false; });
  }
  struct Capture {
    std::uint64_t windowID;
    PixelSize size;
  };
  [[nodiscard]] std::vector<Capture> captures() const {
    return locked([&] { return captures_; });
  }
  // How often every window was listed (the default single-window lookup lists them too).
  [[nodiscard]] int listings() const {
    return locked([&] { return listings_; });
  }

 private:
  template <typename F>
  std::invoke_result_t<F> locked(F f) const {
    std::lock_guard lock(mutex_);
    return f();
  }

  mutable std::mutex mutex_;
  std::vector<ShareableWindow> windows_;
  std::optional<std::string> listingFailure_;
  std::optional<std::string> captureFailure_;
  bool available_ = true;
  bool keepsCoveredPixels_ = true;
  std::vector<Capture> captures_;
  int listings_ = 0;
  bool describesOne_ = false;
};

}  // namespace wrenfold::testing
