#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "core/context/accessibility_reader.h"
#include "core/context/clipboard_context_reader.h"
#include "core/context/context_snapshot.h"
#include "core/context/screenshot_reader.h"
#include "core/platform/accessibility.h"
#include "core/platform/input_method.h"
#include "core/support/app_logger.h"
#include "core/support/failure.h"
#include "core/target/focused_target.h"

namespace wrenfold {

// Produces one context per cycle from, in order of preference, accessibility text, the text the
// input method reports around the caret, a window screenshot and the clipboard. Main thread only.
class ContextHub {
 public:
  using Completion = std::function<void(Result<ContextReadResult>)>;

  static constexpr double kMinimumAccessibilityConfidence = 0.35;

  // `logger`, when given, also records the notices about applications that expose no text;
  // `inputMethod`, when given, is asked where accessibility gives no text.
  ContextHub(AccessibilityReader accessibilityReader, ClipboardContextReader clipboardReader,
             ScreenshotReader screenshotReader, Accessibility& accessibility, AppLogger* logger = nullptr,
             InputMethod* inputMethod = nullptr)
      : accessibilityReader_(std::move(accessibilityReader)),
        clipboardReader_(std::move(clipboardReader)),
        screenshotReader_(std::move(screenshotReader)),
        ax_(accessibility),
        logger_(logger),
        inputMethod_(inputMethod) {}
  ContextHub(const ContextHub&) = delete;
  ContextHub& operator=(const ContextHub&) = delete;

  // Reads the text once the window's pixels are taken, while they are encoded; `completion` runs
  // later on the main thread with the result or contextUnavailable, and never once the hub is
  // gone. `captured`, when given, runs once the window's pixels are taken (before they are
  // encoded), or once the capture failed, at least a main-loop turn before the text is read
  // (which waits on the program), so what it shows is on screen meanwhile.
  // `begun`, when given, is the target window's capture begun earlier, used instead of a new one.
  void readContext(std::shared_ptr<const FocusedTarget> target, Completion completion,
                   std::function<void()> captured = {},
                   std::shared_ptr<ScreenshotReader::Pending> begun = nullptr);
  // Begins capturing a window before its target is resolved, for a later readContext.
  [[nodiscard]] std::shared_ptr<ScreenshotReader::Pending> beginCapture(ScreenshotReader::WindowQuery query) {
    return screenshotReader_.begin(std::move(query));
  }

 private:
  // From the program's text as read (`accessibility`), else the input method's, else the
  // screenshot, else the clipboard.
  [[nodiscard]] Result<ContextReadResult> choose(const FocusedTarget& target,
                                                 Result<ContextSnapshot> accessibility,
                                                 std::optional<CapturedScreenshot> screenshot);
  // Why a cycle has no screenshot: each time a capture failed, but only once for a session
  // that cannot capture at all, where it is no news after the first time.
  [[nodiscard]] std::optional<std::string> missingScreenshotWarning();

  bool toldNoCapture_ = false;
  AccessibilityReader accessibilityReader_;
  ClipboardContextReader clipboardReader_;
  ScreenshotReader screenshotReader_;
  void addNotices(const FocusedTarget& target, ContextSnapshot& snapshot);

  // The field's text as the input method reports it around the caret; absent without it.
  [[nodiscard]] std::optional<ContextSnapshot> inputMethodSnapshot(const FocusedTarget& target) const;

  Accessibility& ax_;
  AppLogger* logger_;
  InputMethod* inputMethod_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace wrenfold
