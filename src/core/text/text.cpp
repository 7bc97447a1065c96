#include "core/text/text.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

namespace wrenfold::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `i`, advancing `i`; ill-formed input yields U+FFFD and advances
// past the maximal ill-formed subpart, as ICU and the Unicode standard recommend.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data());
  auto length = static_cast<std::int32_t>(s.size());
  auto index = static_cast<std::int32_t>(i);
  UChar32 c = 0;
  U8_NEXT(bytes, index, length, c);
  i = static_cast<std::size_t>(index);
  return c < 0 ? kReplacement : static_cast<char32_t>(c);
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::size_t utf16Units(char32_t c) {
  return c > 0xFFFF ? 2u : 1u;
}

bool isWhiteSpace(char32_t c) {
  return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE) != 0;
}

icu::UnicodeString toUnicodeString(std::string_view s) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<std::int32_t>(s.size())));
}

std::string toUtf8(const icu::UnicodeString& u) {
  std::string out;
  u.toUTF8String(out);
  return out;
}

// Walks grapheme boundaries over the UTF-16 form; calls `visit(endUtf16)` for each cluster
// until it returns false.
// One character iterator per thread: creating one costs more than walking a short text with
// it, and the context reader counts every label it reads.
icu::BreakIterator* characterBreaks() {
  thread_local const std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    return U_FAILURE(status) ? nullptr : std::move(made);
  }();
  return iterator.get();
}

template <class Visit>
void forEachGrapheme(const icu::UnicodeString& u, Visit visit) {
  icu::BreakIterator* it = characterBreaks();
  if (it == nullptr) {
    // Without break data, fall back to code points so callers still get a sane answer.
    for (std::int32_t i = 0; i < u.length();) {
      i = u.moveIndex32(i, 1);
      if (!visit(i)) {
        return;
      }
    }
    return;
  }
  it->setText(u);
  for (std::int32_t end = it->next(); end != icu::BreakIterator::DONE; end = it->next()) {
    if (!visit(end)) {
      return;
    }
  }
}

}  // namespace

bool isValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data());
    auto length = static_cast<std::int32_t>(s.size());
    auto index = static_cast<std::int32_t>(i);
    UChar32 c = 0;
    U8_NEXT(bytes, index, length, c);
    if (c < 0) {
      return false;
    }
    i = static_cast<std::size_t>(index);
  }
  return true;
}

std::string repairUtf8(std::string_view s) {
  if (isValidUtf8(s)) {
    return std::string(s);
  }
  std::string out;
  out.reserve(s.size() + 8);
  for (std::size_t i = 0; i < s.size();) {
    appendUtf8(out, nextCodePoint(s, i));
  }
  return out;
}

std::string trim(std::string_view s) {
  std::size_t begin = 0;
  while (begin < s.size()) {
    std::size_t next = begin;
    if (!isWhiteSpace(nextCodePoint(s, next))) {
      break;
    }
    begin = next;
  }
  // Find the end by scanning forward and remembering where the last non-space ended, so the
  // scan never has to decode UTF-8 backwards.
  std::size_t end = begin;
  for (std::size_t i = begin; i < s.size();) {
    char32_t c = nextCodePoint(s, i);
    if (!isWhiteSpace(c)) {
      end = i;
    }
  }
  return std::string(s.substr(begin, end - begin));
}

bool isBlank(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    if (!isWhiteSpace(nextCodePoint(s, i))) {
      return false;
    }
  }
  return true;
}

std::size_t graphemeCount(std::string_view s) {
  if (s.empty()) {
    return 0;
  }
  // ASCII: every character is a cluster of its own except CR LF, which is one.
  if (std::ranges::all_of(s, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::size_t pairs = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
      if (s[i - 1] == '\r' && s[i] == '\n') {
        ++pairs;
      }
    }
    return s.size() - pairs;
  }
  std::size_t count = 0;
  forEachGrapheme(toUnicodeString(s), [&](std::int32_t) {
    ++count;
    return true;
  });
  return count;
}

std::string graphemePrefix(std::string_view s, std::size_t count) {
  if (count == 0 || s.empty()) {
    return {};
  }
  icu::UnicodeString u = toUnicodeString(s);
  std::int32_t cut = u.length();
  std::size_t seen = 0;
  forEachGrapheme(u, [&](std::int32_t end) {
    if (++seen == count) {
      cut = end;
      return false;
    }
    return true;
  });
  if (cut >= u.length()) {
    return repairUtf8(s);
  }
  return toUtf8(u.tempSubString(0, cut));
}

std::string lowercased(std::string_view s) {
  icu::UnicodeString u = toUnicodeString(s);
  u.toLower(icu::Locale::getRoot());
  return toUtf8(u);
}

std::size_t utf16Length(std::string_view s) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < s.size();) {
    units += utf16Units(nextCodePoint(s, i));
  }
  return units;
}

std::optional<std::size_t> byteOffsetOfUtf16(std::string_view s, std::size_t utf16Offset) {
  std::size_t units = 0;
  std::size_t i = 0;
  while (units < utf16Offset && i < s.size()) {
    units += utf16Units(nextCodePoint(s, i));
  }
  if (units != utf16Offset) {
    return std::nullopt;  // past the end, or inside a surrogate pair
  }
  return i;
}

std::optional<std::size_t> byteOffsetOfCodePoint(std::string_view s, std::size_t codePoints) {
  std::size_t i = 0;
  for (std::size_t n = 0; n < codePoints; ++n) {
    if (i >= s.size()) {
      return std::nullopt;
    }
    static_cast<void>(nextCodePoint(s, i));
  }
  return i;
}

std::size_t utf16OffsetOfByte(std::string_view s, std::size_t byteOffset) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < s.size() && i < byteOffset;) {
    units += utf16Units(nextCodePoint(s, i));
  }
  return units;
}

std::u16string toUtf16(std::string_view s) {
  icu::UnicodeString u = toUnicodeString(s);
  return std::u16string(u.getBuffer(), static_cast<std::size_t>(u.length()));
}

std::string fromUtf16(std::u16string_view s) {
  // Lone surrogates become U+FFFD in the conversion.
  icu::UnicodeString u(s.data(), static_cast<std::int32_t>(s.size()));
  return toUtf8(u);
}

}  // namespace wrenfold::text
