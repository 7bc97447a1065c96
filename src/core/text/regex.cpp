#include "core/text/regex.h"

#include <unicode/regex.h>
#include <unicode/utext.h>

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/text/text.h"

namespace wrenfold::text {

struct Regex::Impl {
  std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {

std::uint32_t flagsOf(RegexOptions options) {
  std::uint32_t flags = 0;
  if (options.caseInsensitive) {
    flags |= UREGEX_CASE_INSENSITIVE;
  }
  if (options.dotMatchesLineSeparators) {
    flags |= UREGEX_DOTALL;
  }
  if (options.multiline) {
    flags |= UREGEX_MULTILINE;
  }
  return flags;
}

// A UText over UTF-8 makes ICU report native indexes, which are byte offsets.
struct Utf8Text {
  explicit Utf8Text(std::string_view s) {
    UErrorCode status = U_ZERO_ERROR;
    text = utext_openUTF8(nullptr, s.data(), static_cast<std::int64_t>(s.size()), &status);
  }
  ~Utf8Text() { utext_close(text); }
  Utf8Text(const Utf8Text&) = delete;
  Utf8Text& operator=(const Utf8Text&) = delete;
  UText* text = nullptr;
};

RegexMatch matchOf(const icu::RegexMatcher& matcher) {
  RegexMatch match;
  const std::int32_t count = matcher.groupCount();
  match.groups.reserve(static_cast<std::size_t>(count) + 1);
  for (std::int32_t g = 0; g <= count; ++g) {
    UErrorCode status = U_ZERO_ERROR;
    const std::int64_t begin = matcher.start64(g, status);
    const std::int64_t end = matcher.end64(g, status);
    RegexGroup group;
    if (U_SUCCESS(status) && begin >= 0) {
      group = {static_cast<std::size_t>(begin), static_cast<std::size_t>(end), true};
    }
    match.groups.push_back(group);
  }
  return match;
}

}  // namespace

std::optional<std::string> RegexMatch::group(std::string_view subject, std::size_t index) const {
  if (index >= groups.size() || !groups[index].matched) {
    return std::nullopt;
  }
  const RegexGroup& g = groups[index];
  return std::string(subject.substr(g.begin, g.end - g.begin));
}

Regex::Regex(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;
Regex::~Regex() = default;

std::expected<Regex, std::string> Regex::compile(std::string_view pattern, RegexOptions options) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError{};
  icu::UnicodeString source = icu::UnicodeString::fromUTF8(
      icu::StringPiece(pattern.data(), static_cast<std::int32_t>(pattern.size())));
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(source, flagsOf(options), parseError, status));
  if (U_FAILURE(status) || !compiled) {
    return std::unexpected(std::string(u_errorName(status)));
  }
  auto impl = std::make_unique<Impl>();
  impl->pattern = std::move(compiled);
  return Regex(std::move(impl));
}

Regex Regex::literal(std::string_view pattern, RegexOptions options) {
  auto compiled = compile(pattern, options);
  if (!compiled) {
    std::fprintf(stderr, "wrenfold: invalid built-in regular expression (%s): %.*s\n",
                 compiled.error().c_str(), static_cast<int>(pattern.size()), pattern.data());
    std::abort();
  }
  return std::move(*compiled);
}

std::optional<RegexMatch> Regex::firstMatch(std::string_view subject, std::size_t from) const {
  std::optional<RegexMatch> first;
  scan(
      subject,
      [&](const RegexMatch& match) {
        first = match;
        return std::numeric_limits<std::size_t>::max();
      },
      from);
  return first;
}

std::vector<RegexMatch> Regex::allMatches(std::string_view subject) const {
  std::vector<RegexMatch> matches;
  scan(subject, [&](const RegexMatch& match) {
    matches.push_back(match);
    return match.end();
  });
  return matches;
}

void Regex::scan(std::string_view subject, const std::function<std::size_t(const RegexMatch&)>& resumeAt,
                 std::size_t from) const {
  const std::string repaired = isValidUtf8(subject) ? std::string() : repairUtf8(subject);
  const std::string_view input = repaired.empty() ? subject : std::string_view(repaired);
  Utf8Text text(input);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(impl_->pattern->matcher(status));
  if (U_FAILURE(status)) {
    return;
  }
  matcher->reset(text.text);
  // find(start) resets the matcher but keeps the whole input as its region, so lookbehinds
  // still see the text before `from`.
  while (from <= input.size() && matcher->find(static_cast<std::int64_t>(from), status) &&
         U_SUCCESS(status)) {
    const RegexMatch match = matchOf(*matcher);
    from = resumeAt(match);
    if (from <= match.begin()) {
      from = match.begin() + 1;
      while (from < input.size() && (static_cast<unsigned char>(input[from]) & 0xC0) == 0x80) {
        ++from;
      }
    }
  }
}

std::string Regex::replaceAll(std::string_view subject, std::string_view replacement) const {
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString input = icu::UnicodeString::fromUTF8(
      icu::StringPiece(subject.data(), static_cast<std::int32_t>(subject.size())));
  std::unique_ptr<icu::RegexMatcher> matcher(impl_->pattern->matcher(input, status));
  if (U_FAILURE(status)) {
    return repairUtf8(subject);
  }
  icu::UnicodeString with = icu::UnicodeString::fromUTF8(
      icu::StringPiece(replacement.data(), static_cast<std::int32_t>(replacement.size())));
  icu::UnicodeString result = matcher->replaceAll(with, status);
  if (U_FAILURE(status)) {
    return repairUtf8(subject);
  }
  std::string out;
  result.toUTF8String(out);
  return out;
}

}  // namespace wrenfold::text
