#pragma once

#include <optional>
#include <vector>

#include "core/platform/pasteboard.h"

namespace wrenfold {

// A copy of the whole clipboard: every item with every readable type, in order, so styled
// text, images and file lists survive a round trip.
struct PasteboardSnapshot {
  std::vector<PasteboardItem> items;
  // False when the owner did not answer in time: what it held is unknown, so restoring nothing
  // must not mean emptying the clipboard.
  bool readable = true;

  [[nodiscard]] static PasteboardSnapshot capture(Pasteboard& pasteboard);
  // From the answer of Pasteboard::readItems.
  [[nodiscard]] static PasteboardSnapshot of(std::optional<std::vector<PasteboardItem>> items);
  // Clears the clipboard and writes the items back in one call; an empty snapshot leaves it
  // empty, an unreadable one leaves it as it is.
  void restore(Pasteboard& pasteboard) const;

  bool operator==(const PasteboardSnapshot&) const = default;
};

}  // namespace wrenfold
