#include "platform/linux/atspi_caret_bounds.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/linux/text_offsets.h"

namespace wrenfold {
namespace {

// How far around the caret the text is read for the neighbouring lines, in toolkit offsets.
constexpr std::int64_t kLineReach = 400;

// The toolkit offsets of the line breaks in `text`, which starts at toolkit offset `start`.
std::vector<std::int64_t> lineBreaks(const std::string& text, std::int64_t start, OffsetUnit unit) {
  std::vector<std::int64_t> breaks;
  std::int64_t offset = start;
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    if ((byte & 0xC0) == 0x80) {
      continue;  // inside a code point
    }
    if (byte == '\n') {
      breaks.push_back(offset);
    }
    // Four-byte sequences are outside the BMP: two UTF-16 units.
    offset += unit == OffsetUnit::utf16 && byte >= 0xF0 ? 2 : 1;
  }
  return breaks;
}

// The height of the caret's line, whose top is at `top`: the distance to the line before it (its
// line break) or after it (its first character), whichever is shorter and not zero.
std::optional<double> lineHeight(AtspiCalls& calls, AtspiAccessible* object, std::int64_t caret, double top,
                                 AtspiCoordType coords) {
  const std::int64_t start = std::max<std::int64_t>(0, caret - kLineReach);
  const auto count = calls.characterCount(object);
  const auto text = count ? calls.text(object, start, std::min(*count, caret + kLineReach)) : std::nullopt;
  if (!text) {
    return std::nullopt;
  }
  const OffsetUnit unit = offsetUnitFor(calls.toolkitName(object), *text, -1);
  const auto breaks = lineBreaks(*text, start, unit);
  std::vector<std::int64_t> neighbours;
  const auto next = std::lower_bound(breaks.begin(), breaks.end(), caret);
  if (next != breaks.begin()) {
    neighbours.push_back(*std::prev(next) - 1);  // the last character of the line before
  }
  if (next != breaks.end()) {
    neighbours.push_back(*next + 1);  // the first character of the line after
  }
  std::optional<double> height;
  for (const std::int64_t offset : neighbours) {
    if (offset < 0) {
      continue;
    }
    if (const auto other = calls.characterExtents(object, offset, coords)) {
      if (const double distance = std::abs(other->y - top); distance > 0) {
        height = std::min(height.value_or(distance), distance);
      }
    }
  }
  return height;
}

}  // namespace

std::optional<Rect> caretBounds(AtspiCalls& calls, AtspiAccessible* object, AtspiCoordType coords) {
  if (!calls.hasText(object)) {
    return std::nullopt;
  }
  if (calls.selectionCount(object).value_or(0) > 0) {
    if (const auto selection = calls.selection(object, 0); selection && selection->end > selection->start) {
      if (auto bounds = calls.rangeExtents(object, selection->start, selection->end, coords)) {
        return bounds;
      }
    }
  }
  const auto caret = calls.caretOffset(object);
  if (!caret) {
    return std::nullopt;
  }
  auto bounds = calls.characterExtents(object, *caret, coords);
  // Past the last character some toolkits lay out nothing: the caret sits after the one before.
  if (!bounds && *caret > 0) {
    if (const auto before = calls.characterExtents(object, *caret - 1, coords)) {
      bounds = Rect{before->x + before->width, before->y, 0, before->height};
    }
  }
  if (bounds && bounds->height <= 0) {
    const auto height = lineHeight(calls, object, *caret, bounds->y, coords);
    if (!height) {
      return std::nullopt;
    }
    bounds->height = *height;
  }
  return bounds;
}

}  // namespace wrenfold
