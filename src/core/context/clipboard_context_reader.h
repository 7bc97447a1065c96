#pragma once

#include <cstddef>
#include <optional>

#include "core/context/context_snapshot.h"
#include "core/platform/pasteboard.h"
#include "core/target/focused_target.h"

namespace wrenfold {

// The last-resort context: the clipboard's plain text, read and never written. Main thread.
class ClipboardContextReader {
 public:
  static constexpr std::size_t kMaxLength = 5000;  // characters kept

  explicit ClipboardContextReader(Pasteboard& pasteboard) : pasteboard_(pasteboard) {}

  // Nothing when the clipboard holds no text or only white space.
  [[nodiscard]] std::optional<ContextSnapshot> readFallback(const FocusedTarget& target) const;

 private:
  Pasteboard& pasteboard_;
};

}  // namespace wrenfold
