#include "platform/linux/text_offsets.h"

#include "core/text/text.h"

namespace wrenfold {
namespace {

bool isContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U;
}

// Bytes of the UTF-8 sequence starting with `lead`.
std::size_t sequenceLength(char lead) {
  const auto b = static_cast<unsigned char>(lead);
  if (b >= 0xF0U) {
    return 4;
  }
  if (b >= 0xE0U) {
    return 3;
  }
  return b >= 0xC0U ? 2 : 1;
}

bool startsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

OffsetUnit offsetUnitFor(std::string_view toolkitName, std::string_view text, std::int64_t characterCount) {
  if (startsWith(toolkitName, "Qt")) {
    return OffsetUnit::utf16;
  }
  if (startsWith(toolkitName, "GTK") || startsWith(toolkitName, "gtk") || startsWith(toolkitName, "GAIL") ||
      startsWith(toolkitName, "Chromium")) {
    return OffsetUnit::codePoint;
  }
  const auto utf16 = static_cast<std::int64_t>(text::utf16Length(text));
  if (characterCount == utf16 && utf16 != codePointCount(text)) {
    return OffsetUnit::utf16;
  }
  return OffsetUnit::codePoint;
}

std::int64_t codePointCount(std::string_view text) {
  std::int64_t count = 0;
  for (const char c : text) {
    count += isContinuationByte(c) ? 0 : 1;
  }
  return count;
}

std::optional<std::size_t> byteOffsetOfToolkitOffset(std::string_view text, std::int64_t offset,
                                                     OffsetUnit unit) {
  if (offset < 0) {
    return std::nullopt;
  }
  if (unit == OffsetUnit::utf16) {
    return text::byteOffsetOfUtf16(text, static_cast<std::size_t>(offset));
  }
  std::size_t byte = 0;
  for (std::int64_t i = 0; i < offset; ++i) {
    if (byte >= text.size()) {
      return std::nullopt;
    }
    byte += sequenceLength(text[byte]);
  }
  return byte <= text.size() ? std::optional(byte) : std::nullopt;
}

std::optional<std::int64_t> utf16OffsetOfToolkitOffset(std::string_view text, std::int64_t offset,
                                                       OffsetUnit unit) {
  const auto byte = byteOffsetOfToolkitOffset(text, offset, unit);
  if (!byte) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(text::utf16OffsetOfByte(text, *byte));
}

std::optional<std::int64_t> toolkitOffsetOfUtf16Offset(std::string_view text, std::int64_t offset,
                                                       OffsetUnit unit) {
  if (offset < 0) {
    return std::nullopt;
  }
  const auto byte = text::byteOffsetOfUtf16(text, static_cast<std::size_t>(offset));
  if (!byte) {
    return std::nullopt;
  }
  if (unit == OffsetUnit::utf16) {
    return offset;
  }
  return codePointCount(text.substr(0, *byte));
}

std::int64_t insertionLength(std::string_view text, OffsetUnit unit) {
  return unit == OffsetUnit::utf16 ? static_cast<std::int64_t>(text::utf16Length(text))
                                   : static_cast<std::int64_t>(text.size());
}

std::optional<std::string> replacingToolkitRange(std::string_view text, std::int64_t start, std::int64_t end,
                                                 std::string_view replacement, OffsetUnit unit) {
  if (end < start) {
    return std::nullopt;
  }
  const auto from = byteOffsetOfToolkitOffset(text, start, unit);
  const auto to = byteOffsetOfToolkitOffset(text, end, unit);
  if (!from || !to) {
    return std::nullopt;
  }
  std::string result(text.substr(0, *from));
  result.append(replacement);
  result.append(text.substr(*to));
  return result;
}

}  // namespace wrenfold
