#include "core/target/pasteboard_snapshot.h"

namespace wrenfold {

PasteboardSnapshot PasteboardSnapshot::capture(Pasteboard& pasteboard) {
  return {pasteboard.items()};
}

void PasteboardSnapshot::restore(Pasteboard& pasteboard) const {
  pasteboard.clearContents();
  if (items.empty()) {
    return;
  }
  // A refused write leaves the clipboard empty; there is nothing better to fall back to.
  static_cast<void>(pasteboard.writeItems(items));
}

}  // namespace wrenfold
