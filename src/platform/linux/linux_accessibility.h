#pragma once

// The accessibility port over the AT-SPI bus (libatspi). Main thread only: libatspi is
// single-threaded and attaches to the default GLib main context, which the Qt event loop
// runs; focus events are remembered only while that loop runs.

#include <chrono>
#include <memory>

#include "core/platform/accessibility.h"

namespace wrenfold {

class LinuxAccessibility final : public Accessibility {
 public:
  struct Options {
    std::chrono::milliseconds callTimeout{300};  // one AT-SPI round trip at most
    std::chrono::milliseconds hungPause{3000};   // an application that timed out is skipped this long
    int focusSearchLimit = 600;                  // elements a walk for the focused element visits
    int childrenLimit = 1000;                    // children listed per element
  };

  LinuxAccessibility();
  explicit LinuxAccessibility(Options options);
  ~LinuxAccessibility() override;

  [[nodiscard]] bool isProcessTrusted() override;
  void promptForTrust() override;
  [[nodiscard]] std::optional<AccessibilityElement> applicationElement(std::int32_t processID) override;

  [[nodiscard]] std::optional<std::string> stringAttribute(const AccessibilityElement& element,
                                                           AXAttribute attribute) override;
  [[nodiscard]] std::optional<bool> boolAttribute(const AccessibilityElement& element,
                                                  AXAttribute attribute) override;
  [[nodiscard]] std::optional<AccessibilityElement> elementAttribute(const AccessibilityElement& element,
                                                                     AXAttribute attribute) override;
  [[nodiscard]] std::optional<std::vector<AccessibilityElement>> elementListAttribute(
      const AccessibilityElement& element, AXAttribute attribute) override;
  [[nodiscard]] std::optional<TextRange> rangeAttribute(const AccessibilityElement& element,
                                                        AXAttribute attribute) override;
  [[nodiscard]] std::optional<Point> pointAttribute(const AccessibilityElement& element,
                                                    AXAttribute attribute) override;
  [[nodiscard]] std::optional<Size> sizeAttribute(const AccessibilityElement& element,
                                                  AXAttribute attribute) override;

  [[nodiscard]] bool setString(const AccessibilityElement& element, AXAttribute attribute,
                               std::string_view value) override;
  [[nodiscard]] bool setRange(const AccessibilityElement& element, AXAttribute attribute,
                              TextRange value) override;
  [[nodiscard]] bool setBool(const AccessibilityElement& element, AXAttribute attribute, bool value) override;

  [[nodiscard]] std::optional<std::string> takeApplicationNotice(std::int32_t processID) override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace wrenfold
