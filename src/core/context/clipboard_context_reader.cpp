#include "core/context/clipboard_context_reader.h"

#include <string>

#include "core/text/text.h"

namespace wrenfold {

std::optional<ContextSnapshot> ClipboardContextReader::readFallback(const FocusedTarget& target) const {
  const auto raw = pasteboard_.string();
  if (!raw) {
    return std::nullopt;
  }
  std::string trimmed = text::trim(text::repairUtf8(*raw));
  if (trimmed.empty()) {
    return std::nullopt;
  }
  ContextSnapshot snapshot;
  snapshot.source = ContextSource::clipboardFallback;
  snapshot.appName = target.appName;
  snapshot.appBundleID = target.appBundleID;
  snapshot.windowTitle = target.windowTitle;
  snapshot.visibleText = text::graphemePrefix(trimmed, kMaxLength);
  snapshot.confidence = 0.45;
  snapshot.warnings = {"使用剪贴板作为低置信度上下文。"};
  return snapshot;
}

}  // namespace wrenfold
