#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/window_capture.h"

namespace wrenfold::testing {

// A window list the test writes and a capture that returns a solid image of the requested
// size (or the window's scripted image). Thread-safe, like the real one.
class FakeWindowCapture final : public WindowCapture {
 public:
  [[nodiscard]] bool canCaptureWindows() override;
  [[nodiscard]] bool keepsCoveredPixels() override;
  [[nodiscard]] Result<std::vector<ShareableWindow>> shareableWindows() override;
  [[nodiscard]] Result<Image> captureWindow(const ShareableWindow& window, PixelSize size) override;

  // --- test interface
  void addWindow(ShareableWindow window);
  // This window's capture returns `image` whatever size was asked.
  void setImage(std::uint64_t windowID, Image image);
  void failListing(std::string description);
  void failCapture(std::string description);
  void setAvailable(bool available);
  // As without a compositor: covered parts of a window come out blank.
  void loseCoveredPixels() { keepsCoveredPixels_ = false; }
  struct Capture {
    std::uint64_t windowID;
    PixelSize size;
  };
  [[nodiscard]] std::vector<Capture> captures() const;

 private:
  mutable std::mutex mutex_;
  std::vector<ShareableWindow> windows_;
  std::map<std::uint64_t, Image> images_;
  std::optional<std::string> listingFailure_;
  std::optional<std::string> captureFailure_;
  bool available_ = true;
  bool keepsCoveredPixels_ = true;
  std::vector<Capture> captures_;
};

}  // namespace wrenfold::testing
