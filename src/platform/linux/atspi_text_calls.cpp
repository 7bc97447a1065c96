// The Text, EditableText and Component calls of AtspiCalls.

#include "platform/linux/atspi_calls.h"
#include "platform/linux/atspi_round_trip.h"

namespace wrenfold {

std::optional<std::int64_t> AtspiCalls::characterCount(AtspiAccessible* object) {
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  const gint count = atspi_text_get_character_count(asText(object), call.error());
  return call.ok() && count >= 0 ? std::optional<std::int64_t>(count) : std::nullopt;
}

std::optional<std::string> AtspiCalls::text(AtspiAccessible* object, std::int64_t start, std::int64_t end) {
  if (!fitsInt(start) || !fitsInt(end) || !answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  auto value = adoptString(atspi_text_get_text(asText(object), toInt(start), toInt(end), call.error()));
  return call.ok() ? value : std::nullopt;
}

std::optional<int> AtspiCalls::selectionCount(AtspiAccessible* object) {
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  const gint count = atspi_text_get_n_selections(asText(object), call.error());
  return call.ok() && count >= 0 ? std::optional<int>(count) : std::nullopt;
}

std::optional<ToolkitRange> AtspiCalls::selection(AtspiAccessible* object, int index) {
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  AtspiRange* range = atspi_text_get_selection(asText(object), index, call.error());
  if (range == nullptr) {
    return std::nullopt;
  }
  const ToolkitRange result{std::min(range->start_offset, range->end_offset),
                            std::max(range->start_offset, range->end_offset)};
  g_free(range);
  return call.ok() ? std::optional(result) : std::nullopt;
}

std::optional<std::int64_t> AtspiCalls::caretOffset(AtspiAccessible* object) {
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  const gint offset = atspi_text_get_caret_offset(asText(object), call.error());
  return call.ok() && offset >= 0 ? std::optional<std::int64_t>(offset) : std::nullopt;
}

std::optional<Rect> AtspiCalls::screenExtents(AtspiAccessible* object, AtspiCoordType coords) {
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  AtspiRect* rect = atspi_component_get_extents(asComponent(object), coords, call.error());
  if (rect == nullptr) {
    return std::nullopt;
  }
  const Rect result{static_cast<double>(rect->x), static_cast<double>(rect->y),
                    static_cast<double>(rect->width), static_cast<double>(rect->height)};
  // Toolkits answer INT_MIN or negative sizes for elements that are not on screen.
  const bool valid = rect->x != INT_MIN && rect->y != INT_MIN && rect->width >= 0 && rect->height >= 0;
  g_free(rect);
  return call.ok() && valid ? std::optional(result) : std::nullopt;
}

namespace {

// Toolkits answer INT_MIN, negative sizes or an empty rectangle at the origin for text they do
// not lay out on screen; KTextEditor answers a zero height (a character's position only).
std::optional<Rect> textRect(const AtspiRect& rect, bool flat) {
  if (rect.x == INT_MIN || rect.y == INT_MIN || rect.width < 0 || rect.height < 0 ||
      (rect.height == 0 && !flat) || (rect.x == 0 && rect.y == 0 && rect.width == 0)) {
    return std::nullopt;
  }
  return Rect{static_cast<double>(rect.x), static_cast<double>(rect.y), static_cast<double>(rect.width),
              static_cast<double>(rect.height)};
}

}  // namespace

std::optional<Rect> AtspiCalls::characterExtents(AtspiAccessible* object, std::int64_t offset,
                                                 AtspiCoordType coords) {
  if (!fitsInt(offset) || !answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  AtspiRect* rect = atspi_text_get_character_extents(asText(object), toInt(offset), coords, call.error());
  if (rect == nullptr) {
    return std::nullopt;
  }
  const auto result = textRect(*rect, true);
  g_free(rect);
  return call.ok() ? result : std::nullopt;
}

std::optional<Rect> AtspiCalls::rangeExtents(AtspiAccessible* object, std::int64_t start, std::int64_t end,
                                             AtspiCoordType coords) {
  if (!fitsInt(start) || !fitsInt(end) || !answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  AtspiRect* rect =
      atspi_text_get_range_extents(asText(object), toInt(start), toInt(end), coords, call.error());
  if (rect == nullptr) {
    return std::nullopt;
  }
  const auto result = textRect(*rect, false);
  g_free(rect);
  return call.ok() ? result : std::nullopt;
}

WriteResult AtspiCalls::setTextContents(AtspiAccessible* object, std::string_view text) {
  if (!available(object)) {
    return WriteResult::refused;
  }
  const std::string value(text);
  Call call(*this, object, Call::Deadline::write);
  const gboolean done =
      atspi_editable_text_set_text_contents(asEditable(object), value.c_str(), call.error());
  return call.written(done);
}

WriteResult AtspiCalls::insertText(AtspiAccessible* object, std::int64_t position, std::string_view text,
                                   std::int64_t length) {
  if (!fitsInt(position) || !fitsInt(length) || !available(object)) {
    return WriteResult::refused;
  }
  const std::string value(text);
  Call call(*this, object, Call::Deadline::write);
  const gboolean done = atspi_editable_text_insert_text(asEditable(object), toInt(position), value.c_str(),
                                                        toInt(length), call.error());
  return call.written(done);
}

WriteResult AtspiCalls::deleteText(AtspiAccessible* object, std::int64_t start, std::int64_t end) {
  if (!fitsInt(start) || !fitsInt(end) || !available(object)) {
    return WriteResult::refused;
  }
  Call call(*this, object, Call::Deadline::write);
  const gboolean done =
      atspi_editable_text_delete_text(asEditable(object), toInt(start), toInt(end), call.error());
  return call.written(done);
}

bool AtspiCalls::awaitAnswer(AtspiAccessible* object) {
  if (object == nullptr) {
    return false;
  }
  patience_.forgive(applicationBusName(object));
  Call call(*this, object, Call::Deadline::write);
  static_cast<void>(atspi_text_get_character_count(asText(object), call.error()));
  return call.ok();
}

bool AtspiCalls::setCaretOffset(AtspiAccessible* object, std::int64_t offset) {
  if (!fitsInt(offset) || !answerable(object)) {
    return false;
  }
  Call call(*this, object);
  const gboolean done = atspi_text_set_caret_offset(asText(object), toInt(offset), call.error());
  return call.ok() && done != FALSE;
}

bool AtspiCalls::setSelection(AtspiAccessible* object, int index, std::int64_t start, std::int64_t end) {
  if (!fitsInt(start) || !fitsInt(end) || !answerable(object)) {
    return false;
  }
  Call call(*this, object);
  const gboolean done =
      atspi_text_set_selection(asText(object), index, toInt(start), toInt(end), call.error());
  return call.ok() && done != FALSE;
}

bool AtspiCalls::addSelection(AtspiAccessible* object, std::int64_t start, std::int64_t end) {
  if (!fitsInt(start) || !fitsInt(end) || !answerable(object)) {
    return false;
  }
  Call call(*this, object);
  const gboolean done = atspi_text_add_selection(asText(object), toInt(start), toInt(end), call.error());
  return call.ok() && done != FALSE;
}

bool AtspiCalls::removeSelection(AtspiAccessible* object, int index) {
  if (!answerable(object)) {
    return false;
  }
  Call call(*this, object);
  const gboolean done = atspi_text_remove_selection(asText(object), index, call.error());
  return call.ok() && done != FALSE;
}

bool AtspiCalls::grabFocus(AtspiAccessible* object) {
  if (!answerable(object)) {
    return false;
  }
  Call call(*this, object);
  const gboolean done = atspi_component_grab_focus(asComponent(object), call.error());
  return call.ok() && done != FALSE;
}

}  // namespace wrenfold
