#include "core/target/pasteboard_snapshot.h"

#include <utility>

namespace wrenfold {

PasteboardSnapshot PasteboardSnapshot::capture(Pasteboard& pasteboard) {
  return {pasteboard.items()};
}

PasteboardSnapshot PasteboardSnapshot::of(std::optional<std::vector<PasteboardItem>> items) {
  if (!items) {
    return {{}, false};
  }
  return {std::move(*items)};
}

void PasteboardSnapshot::restore(Pasteboard& pasteboard) const {
  if (!readable) {
    return;
  }
  pasteboard.clearContents();
  if (items.empty()) {
    return;
  }
  // A refused write leaves the clipboard empty; there is nothing better to fall back to.
  static_cast<void>(pasteboard.writeItems(items));
}

}  // namespace wrenfold
