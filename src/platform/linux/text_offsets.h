#pragma once

// AT-SPI speaks of "character" offsets, but toolkits disagree on what a character is: GTK and
// Chromium count code points, Qt and Firefox count UTF-16 units. The core counts UTF-16 units
// everywhere; these functions translate at the border. All take valid UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wrenfold {

enum class OffsetUnit { codePoint, utf16 };

// The unit of a toolkit's offsets: known toolkits by name; otherwise inferred from a text and
// the character count the toolkit reports for it (code points when the text cannot tell).
[[nodiscard]] OffsetUnit offsetUnitFor(std::string_view toolkitName, std::string_view text,
                                       std::int64_t characterCount);

// Number of code points in `text`.
[[nodiscard]] std::int64_t codePointCount(std::string_view text);

// Byte offset of the toolkit offset `offset` in `text`; absent when negative, past the end or
// inside a surrogate pair.
[[nodiscard]] std::optional<std::size_t> byteOffsetOfToolkitOffset(std::string_view text, std::int64_t offset,
                                                                   OffsetUnit unit);

// UTF-16 offset of the toolkit offset `offset` in `text`; absent when negative or past the end.
[[nodiscard]] std::optional<std::int64_t> utf16OffsetOfToolkitOffset(std::string_view text,
                                                                     std::int64_t offset, OffsetUnit unit);

// Toolkit offset of the UTF-16 offset `offset` in `text`; absent when negative, past the end or
// inside a surrogate pair.
[[nodiscard]] std::optional<std::int64_t> toolkitOffsetOfUtf16Offset(std::string_view text,
                                                                     std::int64_t offset, OffsetUnit unit);

// The length argument of an AT-SPI insertion of `text`: UTF-16 units where offsets are UTF-16
// (Qt reads it so), else bytes (GTK reads it so; a UTF-8 byte count given to Qt inserts junk).
[[nodiscard]] std::int64_t insertionLength(std::string_view text, OffsetUnit unit);

// `text` with the toolkit range [start, end) replaced by `replacement`; absent when the range
// does not lie inside the text.
[[nodiscard]] std::optional<std::string> replacingToolkitRange(std::string_view text, std::int64_t start,
                                                               std::int64_t end, std::string_view replacement,
                                                               OffsetUnit unit);

}  // namespace wrenfold
