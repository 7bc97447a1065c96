#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "core/context/context_snapshot.h"
#include "core/platform/pasteboard.h"
#include "core/platform/workspace.h"
#include "core/target/focused_target.h"

namespace wrenfold {

// One look at the clipboard: the context it gives, or why its content was left alone.
struct ClipboardFallback {
  std::optional<ContextSnapshot> snapshot;
  std::optional<std::string> skipped;  // a user-visible reason, never the content
};

// The last-resort context: the clipboard's plain text, read and never written. A copied
// password is never read: neither content the copying program marked as secret, nor content
// owned by an application target resolution refuses (password managers, banks, wallets).
// Main thread.
class ClipboardContextReader {
 public:
  static constexpr std::size_t kMaxLength = 5000;  // characters kept

  ClipboardContextReader(Pasteboard& pasteboard, Workspace& workspace)
      : pasteboard_(pasteboard), workspace_(workspace) {}

  // No snapshot when the clipboard holds no text, only white space, or a secret (then
  // `skipped` says why).
  [[nodiscard]] ClipboardFallback readFallback(const FocusedTarget& target) const;

 private:
  [[nodiscard]] std::optional<std::string> skipReason() const;

  Pasteboard& pasteboard_;
  Workspace& workspace_;
};

}  // namespace wrenfold
