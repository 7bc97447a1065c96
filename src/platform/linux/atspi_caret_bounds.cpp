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

// The line breaks around the caret, in toolkit offsets, with how far the text was read.
struct Surroundings {
  std::vector<std::int64_t> breaks;
  std::int64_t start = 0;
  std::int64_t end = 0;
};

std::optional<Surroundings> surroundings(AtspiCalls& calls, AtspiAccessible* object, std::int64_t caret) {
  const std::int64_t start = std::max<std::int64_t>(0, caret - kLineReach);
  const auto count = calls.characterCount(object);
  const std::int64_t end = count ? std::min(*count, caret + kLineReach) : 0;
  const auto text = count ? calls.text(object, start, end) : std::nullopt;
  if (!text) {
    return std::nullopt;
  }
  const OffsetUnit unit = offsetUnitFor(calls.toolkitName(object), *text, -1);
  return Surroundings{lineBreaks(*text, start, unit), start, end};
}

// The height of the caret's line, whose top is at `top`: the distance to the line before it (its
// line break) or after it (its first character), whichever is shorter and not zero.
std::optional<double> lineHeight(AtspiCalls& calls, AtspiAccessible* object, const Surroundings& around,
                                 std::int64_t caret, double top, AtspiCoordType coords) {
  std::vector<std::int64_t> neighbours;
  const auto next = std::lower_bound(around.breaks.begin(), around.breaks.end(), caret);
  if (next != around.breaks.begin()) {
    neighbours.push_back(*std::prev(next) - 1);  // the last character of the line before
  }
  if (next != around.breaks.end()) {
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

// Whether the character before the caret's line is told on the caret's own row. Qt's plain text
// editors (FeatherPad's) count each paragraph's boxes from the paragraph's own top, so every
// line seems to be the first.
bool rowsCountFromTheirParagraph(AtspiCalls& calls, AtspiAccessible* object, const Surroundings& around,
                                 std::int64_t caret, const Rect& box, AtspiCoordType coords) {
  const auto next = std::lower_bound(around.breaks.begin(), around.breaks.end(), caret);
  if (next == around.breaks.begin() || *std::prev(next) < 1) {
    return false;
  }
  const auto before = calls.characterExtents(object, *std::prev(next) - 1, coords);
  return before && before->y == box.y && (before->width > 0 || before->height > 0);
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
  if (!bounds) {
    return std::nullopt;
  }
  const auto around = surroundings(calls, object, *caret);
  if (!around) {
    return bounds->height > 0 ? bounds : std::nullopt;
  }
  if (bounds->height <= 0) {
    const auto height = lineHeight(calls, object, *around, *caret, bounds->y, coords);
    if (!height) {
      return std::nullopt;
    }
    bounds->height = *height;
  }
  Rect row = *bounds;
  if (rowsCountFromTheirParagraph(calls, object, *around, *caret, *bounds, coords)) {
    // Such an editor's view shows the text from its first line until scrolled: the caret's line
    // is then one line height further down per paragraph before it. Where that leaves the field
    // (a scrolled view), where the caret is is not known.
    const auto before = calls.text(object, 0, *caret);
    const auto field = calls.screenExtents(object, coords);
    if (!before || !field) {
      return std::nullopt;
    }
    row.y += static_cast<double>(std::count(before->begin(), before->end(), '\n')) * row.height;
    if (row.y + row.height > field->y + field->height) {
      return std::nullopt;
    }
  }
  return row;
}

}  // namespace wrenfold
