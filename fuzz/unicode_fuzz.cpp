// The Unicode helpers on any bytes: repair gives valid UTF-8 and leaves valid text alone; a
// grapheme prefix is a prefix of at most that many clusters; UTF-16 lengths and offsets agree
// with the conversion and map back to the same place.

#include <algorithm>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  const auto [count, raw] = fuzz::choice(fuzz::text(data, size), 64);
  const std::string s = text::repairUtf8(raw);
  FUZZ_REQUIRE_UTF8(s);
  FUZZ_REQUIRE(text::isValidUtf8(raw) == (s == raw));
  FUZZ_REQUIRE(text::repairUtf8(s) == s);

  const std::string prefix = text::graphemePrefix(s, count);
  FUZZ_REQUIRE(s.starts_with(prefix));
  FUZZ_REQUIRE(text::graphemeCount(prefix) == std::min<std::size_t>(count, text::graphemeCount(s)));

  const std::u16string units = text::toUtf16(s);
  FUZZ_REQUIRE(text::utf16Length(s) == units.size());
  FUZZ_REQUIRE(text::fromUtf16(units) == s);
  const auto offsetsAgree = [&](std::size_t unit) {
    const auto byte = text::byteOffsetOfUtf16(s, unit);
    const bool insidePair = unit > 0 && unit < units.size() && (units[unit] & 0xFC00) == 0xDC00;
    FUZZ_REQUIRE(byte.has_value() != insidePair);
    if (byte) {
      FUZZ_REQUIRE(text::utf16OffsetOfByte(s, *byte) == unit);
    }
  };
  // Each lookup walks the text: a few dozen offsets keep a long input linear.
  const std::size_t step = std::max<std::size_t>(1, units.size() / 32);
  for (std::size_t unit = 0; unit < units.size(); unit += step) {
    offsetsAgree(unit);
  }
  offsetsAgree(units.size());
  FUZZ_REQUIRE(!text::byteOffsetOfUtf16(s, units.size() + 1).has_value());

  const std::string trimmed = text::trim(s);
  FUZZ_REQUIRE_UTF8(trimmed);
  FUZZ_REQUIRE(text::isBlank(s) == trimmed.empty());
  FUZZ_REQUIRE_UTF8(text::lowercased(s));
  return 0;
}
