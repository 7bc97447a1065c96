#pragma once

// The Unicode toolkit. Text in the core is UTF-8 std::string; "characters" in lengths and
// cuts are grapheme clusters; accessibility ranges count UTF-16 code units. Every function
// here accepts invalid UTF-8 (it is treated as U+FFFD) and never throws.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wrenfold::text {

// True when `s` is well-formed UTF-8 (no overlongs, surrogates or values above U+10FFFF).
[[nodiscard]] bool isValidUtf8(std::string_view s);

// Replaces every ill-formed sequence by U+FFFD. Call it where text enters from outside
// (accessibility, clipboard, HTTP bodies, files) so no JSON encoder or regex throws later.
[[nodiscard]] std::string repairUtf8(std::string_view s);

// Removes Unicode white space and line breaks (White_Space property) at both ends.
[[nodiscard]] std::string trim(std::string_view s);

// True when trimming leaves nothing.
[[nodiscard]] bool isBlank(std::string_view s);

// Number of extended grapheme clusters (user-perceived characters).
[[nodiscard]] std::size_t graphemeCount(std::string_view s);

// The first `count` grapheme clusters of `s` (all of it when shorter).
[[nodiscard]] std::string graphemePrefix(std::string_view s, std::size_t count);

// Root-locale full Unicode lower-case mapping.
[[nodiscard]] std::string lowercased(std::string_view s);

// Length of `s` in UTF-16 code units.
[[nodiscard]] std::size_t utf16Length(std::string_view s);

// Byte offset in `s` of the UTF-16 offset `utf16Offset`; absent when the offset lies past
// the end or inside a surrogate pair.
[[nodiscard]] std::optional<std::size_t> byteOffsetOfUtf16(std::string_view s, std::size_t utf16Offset);

// Byte offset in `s` of the code-point offset `codePoints` (input methods count so); absent when
// the offset lies past the end.
[[nodiscard]] std::optional<std::size_t> byteOffsetOfCodePoint(std::string_view s, std::size_t codePoints);

// UTF-16 offset of the byte offset `byteOffset` (clamped to the end of `s`).
[[nodiscard]] std::size_t utf16OffsetOfByte(std::string_view s, std::size_t byteOffset);

// Conversions used at the borders that speak UTF-16 or code points.
[[nodiscard]] std::u16string toUtf16(std::string_view s);
[[nodiscard]] std::string fromUtf16(std::u16string_view s);

}  // namespace wrenfold::text
