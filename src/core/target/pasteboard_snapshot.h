#pragma once

#include <vector>

#include "core/platform/pasteboard.h"

namespace wrenfold {

// A copy of the whole clipboard: every item with every readable type, in order, so styled
// text, images and file lists survive a round trip.
struct PasteboardSnapshot {
  std::vector<PasteboardItem> items;

  [[nodiscard]] static PasteboardSnapshot capture(Pasteboard& pasteboard);
  // Clears the clipboard and writes the items back in one call; an empty snapshot leaves it
  // empty.
  void restore(Pasteboard& pasteboard) const;

  bool operator==(const PasteboardSnapshot&) const = default;
};

}  // namespace wrenfold
