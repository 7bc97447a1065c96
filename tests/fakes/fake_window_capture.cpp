#include "fakes/fake_window_capture.h"

#include <cstddef>
#include <utility>

namespace wrenfold::testing {

bool FakeWindowCapture::keepsCoveredPixels() {
  std::lock_guard lock(mutex_);
  return keepsCoveredPixels_;
}

bool FakeWindowCapture::canCaptureWindows() {
  std::lock_guard lock(mutex_);
  return available_;
}

Result<std::vector<ShareableWindow>> FakeWindowCapture::shareableWindows() {
  std::lock_guard lock(mutex_);
  if (listingFailure_) {
    return failPlatform(*listingFailure_);
  }
  return windows_;
}

Result<Image> FakeWindowCapture::captureWindow(const ShareableWindow& window, PixelSize size) {
  std::lock_guard lock(mutex_);
  captures_.push_back({window.windowID, size});
  if (captureFailure_) {
    return failPlatform(*captureFailure_);
  }
  if (const auto found = images_.find(window.windowID); found != images_.end()) {
    return found->second;
  }
  const auto bytes = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 4u;
  return Image{size.width, size.height, std::vector<std::uint8_t>(bytes, 0xff)};
}

void FakeWindowCapture::addWindow(ShareableWindow window) {
  std::lock_guard lock(mutex_);
  windows_.push_back(std::move(window));
}

void FakeWindowCapture::setImage(std::uint64_t windowID, Image image) {
  std::lock_guard lock(mutex_);
  images_[windowID] = std::move(image);
}

void FakeWindowCapture::failListing(std::string description) {
  std::lock_guard lock(mutex_);
  listingFailure_ = std::move(description);
}

void FakeWindowCapture::failCapture(std::string description) {
  std::lock_guard lock(mutex_);
  captureFailure_ = std::move(description);
}

void FakeWindowCapture::setAvailable(bool available) {
  std::lock_guard lock(mutex_);
  available_ = available;
}

std::vector<FakeWindowCapture::Capture> FakeWindowCapture::captures() const {
  std::lock_guard lock(mutex_);
  return captures_;
}

}  // namespace wrenfold::testing
