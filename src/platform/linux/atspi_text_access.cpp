#include "platform/linux/atspi_text_access.h"

#include "core/text/text.h"

namespace wrenfold {
namespace {

constexpr std::string_view kObjectReplacement = "\xEF\xBF\xBC";  // U+FFFC

std::string withoutObjectReplacements(std::string text) {
  for (auto at = text.find(kObjectReplacement); at != std::string::npos;
       at = text.find(kObjectReplacement, at)) {
    text.erase(at, kObjectReplacement.size());
  }
  return text;
}

}  // namespace

bool TextSnapshot::holds(std::string_view expected) const {
  const std::int64_t expectedCount = unit == OffsetUnit::utf16
                                         ? static_cast<std::int64_t>(text::utf16Length(expected))
                                         : codePointCount(expected);
  return text == expected && characterCount == expectedCount;
}

std::optional<TextSnapshot> AtspiTextAccess::snapshot(AtspiAccessible* object) {
  if (!calls_.hasText(object)) {
    return std::nullopt;
  }
  const auto count = calls_.characterCount(object);
  if (!count) {
    return std::nullopt;
  }
  auto raw = calls_.text(object, 0, *count);
  if (!raw) {
    return std::nullopt;
  }
  TextSnapshot result{text::repairUtf8(*raw), OffsetUnit::codePoint, *count};
  result.unit = offsetUnitFor(calls_.toolkitName(object), result.text, *count);
  return result;
}

std::optional<std::string> AtspiTextAccess::value(AtspiAccessible* object, bool editable) {
  if (!calls_.hasText(object)) {
    return std::nullopt;
  }
  // One round trip: the end -1 means "to the end", and no offset needs mapping here.
  auto raw = calls_.text(object, 0, -1);
  if (!raw) {
    return std::nullopt;
  }
  std::string text = text::repairUtf8(*raw);
  return editable ? text : withoutObjectReplacements(std::move(text));
}

std::optional<ToolkitRange> AtspiTextAccess::currentRange(AtspiAccessible* object) {
  const auto selections = calls_.selectionCount(object);
  if (selections.value_or(0) > 0) {
    if (auto range = calls_.selection(object, 0)) {
      return range;
    }
  }
  const auto caret = calls_.caretOffset(object);
  if (!caret) {
    return std::nullopt;
  }
  return ToolkitRange{*caret, *caret};
}

std::optional<std::string> AtspiTextAccess::selectedText(AtspiAccessible* object) {
  if (!calls_.hasText(object)) {
    return std::nullopt;
  }
  const auto selections = calls_.selectionCount(object);
  if (!selections) {
    return std::nullopt;
  }
  if (*selections == 0) {
    return std::string();
  }
  const auto range = calls_.selection(object, 0);
  if (!range) {
    return std::nullopt;
  }
  if (range->start == range->end) {
    return std::string();
  }
  auto selected = calls_.text(object, range->start, range->end);
  return selected ? std::optional(text::repairUtf8(*selected)) : std::nullopt;
}

std::optional<TextRange> AtspiTextAccess::selectedRange(AtspiAccessible* object) {
  if (!calls_.hasText(object)) {
    return std::nullopt;
  }
  const auto raw = calls_.text(object, 0, -1);
  if (!raw) {
    return std::nullopt;
  }
  const std::string current = text::repairUtf8(*raw);
  // Code points and UTF-16 units agree on text inside the BMP: only text beyond it needs the
  // toolkit's unit (and its character count, for a toolkit known by neither name).
  OffsetUnit unit = OffsetUnit::codePoint;
  if (static_cast<std::int64_t>(text::utf16Length(current)) != codePointCount(current)) {
    const auto count = calls_.characterCount(object);
    if (!count) {
      return std::nullopt;
    }
    unit = offsetUnitFor(calls_.toolkitName(object), current, *count);
  }
  const auto range = currentRange(object);
  if (!range) {
    return std::nullopt;
  }
  const auto start = utf16OffsetOfToolkitOffset(current, range->start, unit);
  const auto end = utf16OffsetOfToolkitOffset(current, range->end, unit);
  if (!start || !end) {
    return std::nullopt;
  }
  return TextRange{*start, *end - *start};
}

WriteResult AtspiTextAccess::replaceSelection(AtspiAccessible* object, std::string_view text) {
  if (!calls_.hasEditableText(object)) {
    return WriteResult::refused;
  }
  const auto before = snapshot(object);
  const auto range = before ? currentRange(object) : std::nullopt;
  if (!range) {
    return WriteResult::refused;
  }
  const auto expected = replacingToolkitRange(before->text, range->start, range->end, text, before->unit);
  if (!expected) {
    return WriteResult::refused;
  }
  if (range->end > range->start &&
      calls_.deleteText(object, range->start, range->end) == WriteResult::timedOut &&
      !calls_.awaitAnswer(object)) {
    return WriteResult::timedOut;
  }
  // Toolkits read the length differently (UTF-16 units or bytes); reading back tells.
  const auto answer = calls_.insertText(object, range->start, text, insertionLength(text, before->unit));
  return settle(object, answer, *before, *expected);
}

WriteResult AtspiTextAccess::replaceAll(AtspiAccessible* object, std::string_view text) {
  if (!calls_.hasEditableText(object)) {
    return WriteResult::refused;
  }
  const auto before = snapshot(object);
  if (!before) {
    return WriteResult::refused;
  }
  return settle(object, calls_.setTextContents(object, text), *before, std::string(text));
}

WriteResult AtspiTextAccess::settle(AtspiAccessible* object, WriteResult answer, const TextSnapshot& before,
                                    const std::string& expected) {
  // Unanswered, the write may still land: reading back now and pasting after it would leave the
  // text twice, so the program is given a second deadline first.
  if (answer == WriteResult::timedOut && !calls_.awaitAnswer(object)) {
    return WriteResult::timedOut;
  }
  return verifyOrRestore(object, before, expected) ? WriteResult::written : WriteResult::refused;
}

bool AtspiTextAccess::verifyOrRestore(AtspiAccessible* object, const TextSnapshot& before,
                                      const std::string& expected) {
  const auto after = snapshot(object);
  if (after && after->holds(expected)) {
    return true;
  }
  // A write that landed wrongly (junk after the text, half a replacement) must not stay in the
  // user's field: the caller goes on to paste, which would add the text a second time.
  if (!after || !after->holds(before.text)) {
    static_cast<void>(calls_.setTextContents(object, before.text));
  }
  return false;
}

bool AtspiTextAccess::select(AtspiAccessible* object, TextRange range) {
  const auto current = snapshot(object);
  if (!current || range.length < 0) {
    return false;
  }
  const auto start = toolkitOffsetOfUtf16Offset(current->text, range.location, current->unit);
  const auto end = toolkitOffsetOfUtf16Offset(current->text, range.location + range.length, current->unit);
  if (!start || !end) {
    return false;
  }
  return range.length == 0 ? placeCaret(object, *start) : placeSelection(object, {*start, *end});
}

bool AtspiTextAccess::placeCaret(AtspiAccessible* object, std::int64_t offset) {
  const int selections = calls_.selectionCount(object).value_or(0);
  for (int i = selections - 1; i >= 0; --i) {
    static_cast<void>(calls_.removeSelection(object, i));
  }
  static_cast<void>(calls_.setCaretOffset(object, offset));
  return calls_.caretOffset(object) == offset;
}

bool AtspiTextAccess::placeSelection(AtspiAccessible* object, ToolkitRange range) {
  if (calls_.selectionCount(object).value_or(0) > 0) {
    static_cast<void>(calls_.setSelection(object, 0, range.start, range.end));
  } else {
    static_cast<void>(calls_.addSelection(object, range.start, range.end));
  }
  const auto now = calls_.selection(object, 0);
  return now && now->start == range.start && now->end == range.end;
}

}  // namespace wrenfold
