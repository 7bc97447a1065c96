#pragma once

// Kept apart from e2e_harness.h: the latency bench includes the harness after Xlib, whose
// `None` macro breaks gtest.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/trigger/double_tap_detector.h"
#include "e2e_harness.h"

namespace wrenfold::e2e {

// The fixture of every journey: skipped without a desktop; Wrenfold, once started, must end
// cleanly on SIGTERM (nothing for the sanitizers to report in the sanitizer build).
class JourneyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) {
      GTEST_SKIP() << "no desktop: run under scripts/desktop-session";
    }
  }
  void TearDown() override {
    if (const auto status = wrenfold_.stop()) {
      EXPECT_EQ(*status, 0) << wrenfold_.process().output();
    }
  }

  // Starts Wrenfold with `model` as its OpenAI-compatible service and `apiKey`.
  void start(const ModelService& model, const std::string& apiKey) {
    wrenfold_.configure(model.baseURL(), apiKey);
    wrenfold_.start();
  }
  // Double tap of Alt, as a user's fingers: two XTest presses and releases. A tap within the
  // trigger's debounce after the previous one is ignored by design, and nothing shows when that
  // time is over, so this one wait is a sleep.
  void doubleTapAlt() {
    std::this_thread::sleep_until(lastTap_ + DoubleTapDetector::kTriggerDebounce + 100ms);
    ASSERT_TRUE(xdotool({"key", "alt", "alt"}));
    lastTap_ = std::chrono::steady_clock::now();
  }
  // A double tap whose second Alt stays down; `releaseAlt` lets it go.
  void doubleTapAltHoldingTheSecond() {
    std::this_thread::sleep_until(lastTap_ + DoubleTapDetector::kTriggerDebounce + 100ms);
    ASSERT_TRUE(xdotool({"keydown", "alt", "keyup", "alt", "keydown", "alt"}));
    lastTap_ = std::chrono::steady_clock::now();
  }
  void releaseAlt() { ASSERT_TRUE(xdotool({"keyup", "alt"})); }
  // Once the overlay shows and holds the keyboard (it takes it once there is something to act
  // on), presses `keys` in it, one after the other.
  [[nodiscard]] ::testing::AssertionResult pressInOverlay(const std::vector<std::string>& keys) {
    const auto overlay = wrenfold_.waitForOverlay();
    if (!overlay) {
      return ::testing::AssertionFailure() << "the overlay did not appear";
    }
    if (!waitUntil([&] { return activeWindow() == overlay; })) {
      return ::testing::AssertionFailure() << "the overlay never became active";
    }
    for (const auto& key : keys) {
      if (!xdotool({"key", key})) {
        return ::testing::AssertionFailure() << "xdotool could not press " << key;
      }
    }
    return ::testing::AssertionSuccess();
  }

  testing::TempDir reports_;
  Wrenfold wrenfold_;

 private:
  std::chrono::steady_clock::time_point lastTap_;
};

}  // namespace wrenfold::e2e
