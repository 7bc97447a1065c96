#include "platform/linux/atspi_caret_bounds.h"

namespace wrenfold {

std::optional<Rect> caretBounds(AtspiCalls& calls, AtspiAccessible* object) {
  if (!calls.hasText(object)) {
    return std::nullopt;
  }
  if (calls.selectionCount(object).value_or(0) > 0) {
    if (const auto selection = calls.selection(object, 0); selection && selection->end > selection->start) {
      if (auto bounds = calls.rangeExtents(object, selection->start, selection->end)) {
        return bounds;
      }
    }
  }
  const auto caret = calls.caretOffset(object);
  if (!caret) {
    return std::nullopt;
  }
  if (auto bounds = calls.characterExtents(object, *caret)) {
    return bounds;
  }
  // Past the last character some toolkits lay out nothing: the caret sits after the one before.
  if (*caret > 0) {
    if (const auto before = calls.characterExtents(object, *caret - 1)) {
      return Rect{before->x + before->width, before->y, 0, before->height};
    }
  }
  return std::nullopt;
}

}  // namespace wrenfold
