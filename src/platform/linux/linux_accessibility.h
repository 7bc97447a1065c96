#pragma once

// The accessibility port over the AT-SPI bus (libatspi): maps the port's attributes onto the
// session (atspi_session.h), the element reader (atspi_element_reader.h), the browser wake-up
// (browser_wake_up.h) and the notices (accessibility_notices.h). Main thread only: libatspi is
// single-threaded and attaches to the default GLib main context, which the Qt event loop runs;
// focus events are remembered only while that loop runs.
//
// Until the accessibility bus has answered the port is "not trusted" and every read is absent.

#include <memory>

#include "core/platform/accessibility.h"
#include "core/platform/workspace.h"
#include "platform/linux/atspi_session.h"

namespace wrenfold {

class LinuxAccessibility final : public Accessibility {
 public:
  using Options = AtspiOptions;

  // The workspace names the running applications when accessibility has just been switched on.
  explicit LinuxAccessibility(std::shared_ptr<Workspace> workspace, Options options = {});
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
  void boundReads(std::optional<std::chrono::steady_clock::time_point> until) override;
  [[nodiscard]] bool framesAreOnScreen() override;
  [[nodiscard]] std::optional<std::uint64_t> changeStamp(const AccessibilityElement& element) override;
  [[nodiscard]] std::optional<Rect> caretBounds(const AccessibilityElement& element) override;

  [[nodiscard]] WriteResult setString(const AccessibilityElement& element, AXAttribute attribute,
                                      std::string_view value) override;
  [[nodiscard]] bool setRange(const AccessibilityElement& element, AXAttribute attribute,
                              TextRange value) override;
  [[nodiscard]] bool setBool(const AccessibilityElement& element, AXAttribute attribute, bool value) override;

  [[nodiscard]] std::optional<std::string> takeApplicationNotice(std::int32_t processID) override;
  [[nodiscard]] std::optional<std::string> takeRestartNotice() override;

  // Times an application was taken for hung since the bus was first reached.
  [[nodiscard]] int timedOutCalls() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace wrenfold
