#pragma once

// Text of an AT-SPI element as the core sees it: whole text in UTF-8, ranges in UTF-16 units,
// and writes that count only once the field reads back as intended. Main thread only.

#include <atspi/atspi.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/platform/accessibility.h"
#include "platform/linux/atspi_calls.h"
#include "platform/linux/text_offsets.h"

namespace wrenfold {

// The whole text of an element and the unit its toolkit counts offsets in.
struct TextSnapshot {
  std::string text;
  OffsetUnit unit = OffsetUnit::codePoint;
  std::int64_t characterCount = 0;  // as the toolkit reports it

  // True when the text holds exactly `expected`. The count is compared too: a C string ends at
  // the first NUL, so junk after an embedded NUL would otherwise go unseen.
  [[nodiscard]] bool holds(std::string_view expected) const;
};

class AtspiTextAccess {
 public:
  explicit AtspiTextAccess(AtspiCalls& calls) : calls_(calls) {}

  // The element's text; absent without the Text interface. Object-replacement characters
  // (U+FFFC, one per embedded child in web content) are dropped from text that cannot be
  // edited; editable text (`editable`: the element has the EditableText interface) keeps
  // them so offsets still match.
  [[nodiscard]] std::optional<std::string> value(AtspiAccessible* object, bool editable);
  // The first selection's text, "" when nothing is selected; absent without the Text interface.
  [[nodiscard]] std::optional<std::string> selectedText(AtspiAccessible* object);
  // The first selection, else the caret as an empty range, in UTF-16 units.
  [[nodiscard]] std::optional<TextRange> selectedRange(AtspiAccessible* object);

  // Replaces the selection (or inserts at the caret) with `text`. Written only when the field
  // then holds exactly the old text with that range replaced; otherwise any change made is
  // undone. A write the program does not answer in time is awaited once more, then read back;
  // still unanswered, it is `timedOut` (it may yet land, so it is not undone).
  [[nodiscard]] WriteResult replaceSelection(AtspiAccessible* object, std::string_view text);
  // Sets the whole text; written only when the field reads back as `text` (else undone).
  [[nodiscard]] WriteResult replaceAll(AtspiAccessible* object, std::string_view text);
  // Selects `range` (UTF-16 units), or puts the caret there when it is empty; true when the
  // field reports that selection or caret afterwards.
  [[nodiscard]] bool select(AtspiAccessible* object, TextRange range);

 private:
  [[nodiscard]] std::optional<TextSnapshot> snapshot(AtspiAccessible* object);
  // The first selection, else the caret as an empty range, in toolkit offsets.
  [[nodiscard]] std::optional<ToolkitRange> currentRange(AtspiAccessible* object);
  [[nodiscard]] bool verifyOrRestore(AtspiAccessible* object, const TextSnapshot& before,
                                     const std::string& expected);
  // The write's answer settled: read back when the program answered, however late.
  [[nodiscard]] WriteResult settle(AtspiAccessible* object, WriteResult answer, const TextSnapshot& before,
                                   const std::string& expected);
  [[nodiscard]] bool placeCaret(AtspiAccessible* object, std::int64_t offset);
  [[nodiscard]] bool placeSelection(AtspiAccessible* object, ToolkitRange range);

  AtspiCalls& calls_;
};

}  // namespace wrenfold
