#include "core/context/clipboard_context_reader.h"

#include <string>

#include "core/target/focused_target_resolver.h"
#include "core/text/text.h"

namespace wrenfold {

std::optional<std::string> ClipboardContextReader::skipReason() const {
  const auto hint = pasteboard_.data(kPasswordManagerHintType);
  if (hint && text::trim(std::string(hint->begin(), hint->end())) == "secret") {
    return "剪贴板内容被复制它的程序标记为密码，已跳过。";
  }
  const auto owner = workspace_.clipboardOwner();
  if (owner && owner->bundleIdentifier && isSensitiveApplicationID(*owner->bundleIdentifier)) {
    return "剪贴板内容来自密码管理器、银行或钱包类应用，已跳过。";
  }
  return std::nullopt;
}

ClipboardFallback ClipboardContextReader::readFallback(const FocusedTarget& target) const {
  // Asked before the text, so a secret is never even read into this process.
  if (auto reason = skipReason()) {
    return {std::nullopt, std::move(reason)};
  }
  const auto raw = pasteboard_.string();
  if (!raw) {
    return {};
  }
  std::string trimmed = text::trim(text::repairUtf8(*raw));
  if (trimmed.empty()) {
    return {};
  }
  ContextSnapshot snapshot;
  snapshot.source = ContextSource::clipboardFallback;
  snapshot.appName = target.appName;
  snapshot.appBundleID = target.appBundleID;
  snapshot.windowTitle = target.windowTitle;
  snapshot.visibleText = text::graphemePrefix(trimmed, kMaxLength);
  snapshot.confidence = 0.45;
  snapshot.warnings = {"使用剪贴板作为低置信度上下文。"};
  return {std::move(snapshot), std::nullopt};
}

}  // namespace wrenfold
