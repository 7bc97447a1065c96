#pragma once

// The accessibility port over the AT-SPI bus (libatspi). Main thread only: libatspi is
// single-threaded and attaches to the default GLib main context, which the Qt event loop
// runs; focus events are remembered only while that loop runs.
//
// libatspi ends the process when it is used without a reachable accessibility bus, so it is
// initialised only once the bus has answered; until then the port is "not trusted" and every
// read is absent. Browsers and Electron applications build their tree only for a screen
// reader: when one is focused and shows no page, a screen reader is announced on the bus.

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
    // How long a browser told about a screen reader is given, once per process, to build its
    // tree before the trigger goes on without it.
    std::chrono::milliseconds announcementWait{1000};
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
  [[nodiscard]] std::optional<Rect> caretBounds(const AccessibilityElement& element) override;

  [[nodiscard]] bool setString(const AccessibilityElement& element, AXAttribute attribute,
                               std::string_view value) override;
  [[nodiscard]] bool setRange(const AccessibilityElement& element, AXAttribute attribute,
                              TextRange value) override;
  [[nodiscard]] bool setBool(const AccessibilityElement& element, AXAttribute attribute, bool value) override;

  [[nodiscard]] std::optional<std::string> takeApplicationNotice(std::int32_t processID) override;
  [[nodiscard]] std::optional<std::string> takeRestartNotice() override;

 private:
  struct Session;
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace wrenfold
