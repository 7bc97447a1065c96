#include "core/context/context_hub.h"
#include "core/records/assistant_error.h"
#include "core/text/text.h"

#include <algorithm>
#include <string>
#include <utility>

namespace wrenfold {
namespace {

ContextSnapshot screenshotOnlySnapshot(const FocusedTarget& target) {
  ContextSnapshot snapshot;
  snapshot.source = ContextSource::screenshot;
  snapshot.appName = target.appName;
  snapshot.appBundleID = target.appBundleID;
  snapshot.windowTitle = target.windowTitle;
  snapshot.confidence = 0.7;
  snapshot.warnings = {"使用当前窗口截图作为视觉上下文。"};
  return snapshot;
}

ContextReadResult withScreenshot(ContextSnapshot snapshot, CapturedScreenshot screenshot) {
  return {std::move(snapshot), std::move(screenshot.image), std::move(screenshot.data), std::nullopt};
}

}  // namespace

void ContextHub::readContext(std::shared_ptr<const FocusedTarget> target, Completion completion,
                             std::function<void()> captured,
                             std::shared_ptr<ScreenshotReader::Pending> begun) {
  if (!begun) {
    begun = screenshotReader_.begin(ScreenshotReader::queryFor(*target));
  }
  // The text is read while the pixels are scaled and encoded, a main-loop turn after they are
  // taken (what waits for them, the panel, is on screen meanwhile), not once they are encoded.
  struct Gathered {
    std::optional<Result<ContextSnapshot>> text;
    std::optional<std::optional<CapturedScreenshot>> screenshot;
    Completion completion;
  };
  auto gathered = std::make_shared<Gathered>(Gathered{std::nullopt, std::nullopt, std::move(completion)});
  const std::weak_ptr<bool> alive = alive_;
  auto finish = [this, alive, target, gathered] {
    if (!alive.expired() && gathered->text && gathered->screenshot && gathered->completion) {
      std::exchange(gathered->completion,
                    nullptr)(choose(*target, std::move(*gathered->text), std::move(*gathered->screenshot)));
    }
  };
  begun->whenTaken([this, alive, target, gathered, finish, captured = std::move(captured)] {
    if (alive.expired()) {
      return;
    }
    if (captured) {
      captured();
    }
    screenshotReader_.mainQueue().post([this, alive, target, gathered, finish] {
      if (!alive.expired()) {
        gathered->text = accessibilityReader_.read(*target);
        finish();
      }
    });
  });
  begun->then([alive, gathered, finish](std::optional<CapturedScreenshot> screenshot) mutable {
    if (!alive.expired()) {
      gathered->screenshot = std::move(screenshot);
      finish();
    }
  });
}

Result<ContextReadResult> ContextHub::choose(const FocusedTarget& target,
                                             Result<ContextSnapshot> accessibility,
                                             std::optional<CapturedScreenshot> screenshot) {
  ContextReadResult result;
  if (accessibility && accessibility->confidence >= kMinimumAccessibilityConfidence &&
      !accessibility->bestText().empty()) {
    if (screenshot) {
      result = withScreenshot(std::move(*accessibility), std::move(*screenshot));
    } else {
      result.snapshot = std::move(*accessibility);
      result.screenshotWarning = missingScreenshotWarning();
    }
  } else if (auto typed = inputMethodSnapshot(target)) {
    if (screenshot) {
      result = withScreenshot(std::move(*typed), std::move(*screenshot));
    } else {
      result.snapshot = std::move(*typed);
      result.screenshotWarning = missingScreenshotWarning();
    }
  } else if (screenshot) {
    result = withScreenshot(screenshotOnlySnapshot(target), std::move(*screenshot));
  } else if (auto clipboard = clipboardReader_.readFallback(target); clipboard.snapshot) {
    result.snapshot = std::move(*clipboard.snapshot);
  } else {
    // The clipboard was the last source: the user must learn why it was not used.
    if (clipboard.skipped && logger_ != nullptr) {
      logger_->info(*clipboard.skipped);
    }
    return fail(AssistantError::contextUnavailable(clipboard.skipped.value_or("")));
  }
  addNotices(target, result.snapshot);
  return result;
}

std::optional<ContextSnapshot> ContextHub::inputMethodSnapshot(const FocusedTarget& target) const {
  if (inputMethod_ == nullptr || !target.inputContext) {
    return std::nullopt;
  }
  const auto state = inputMethod_->state(*target.inputContext);
  if (!state || !state->surroundingText) {
    return std::nullopt;
  }
  std::string field = text::repairUtf8(*state->surroundingText);
  if (text::isBlank(field)) {
    return std::nullopt;
  }
  ContextSnapshot snapshot;
  snapshot.appName = target.appName;
  snapshot.appBundleID = target.appBundleID;
  snapshot.windowTitle = target.windowTitle;
  // Caret and anchor count code points; one past the text means the report is stale.
  const auto from = text::byteOffsetOfCodePoint(field, std::min(state->cursor, state->anchor));
  const auto to = text::byteOffsetOfCodePoint(field, std::max(state->cursor, state->anchor));
  if (from && to && *to > *from) {
    snapshot.selectedText = field.substr(*from, *to - *from);
    snapshot.source = ContextSource::selectedText;
    snapshot.confidence = 0.92;
  } else {
    // The field's own text, as an accessibility read of a field with a known frame is graded.
    snapshot.source = ContextSource::accessibility;
    snapshot.confidence = 0.76;
  }
  snapshot.warnings.push_back("通过输入法读取到光标附近的文字（程序未通过辅助功能提供文字）。");
  snapshot.focusedText = field;
  snapshot.visibleText = field;
  snapshot.nearbyText = std::move(field);
  return snapshot;
}

std::optional<std::string> ContextHub::missingScreenshotWarning() {
  if (screenshotReader_.sessionCaptures()) {
    return "未能获取当前应用窗口截图，请检查 Screen Recording 权限或窗口是否可见。";
  }
  if (std::exchange(toldNoCapture_, true)) {
    return std::nullopt;
  }
  return "当前会话无法截取窗口（例如 Wayland 会话）：本次及之后的生成都不附带截图。";
}

// An application that exposes nothing until restarted says so once; the user should know, and
// the log keeps it for when the user does not read the overlay.
void ContextHub::addNotices(const FocusedTarget& target, ContextSnapshot& snapshot) {
  for (auto notice : {ax_.takeRestartNotice(), ax_.takeApplicationNotice(target.processID)}) {
    if (!notice) {
      continue;
    }
    if (logger_ != nullptr) {
      logger_->info(*notice);
    }
    snapshot.warnings.push_back(std::move(*notice));
  }
}

}  // namespace wrenfold
