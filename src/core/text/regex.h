#pragma once

// ICU regular expressions over UTF-8 text: ICU syntax and semantics, so \b, \s and \d are
// Unicode-aware (CJK letters are word characters). Offsets in results are byte offsets into
// the UTF-8 input.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wrenfold::text {

struct RegexOptions {
  bool caseInsensitive = false;
  bool dotMatchesLineSeparators = false;  // `.` also matches line breaks
  bool multiline = false;                 // ^ and $ match at line boundaries
};

struct RegexGroup {
  std::size_t begin = 0;  // byte offset
  std::size_t end = 0;    // byte offset, exclusive
  bool matched = false;
};

struct RegexMatch {
  std::vector<RegexGroup> groups;  // groups[0] is the whole match

  [[nodiscard]] std::size_t begin() const { return groups.at(0).begin; }
  [[nodiscard]] std::size_t end() const { return groups.at(0).end; }
  // Text of group `index`, absent when the group did not take part in the match.
  [[nodiscard]] std::optional<std::string> group(std::string_view subject, std::size_t index) const;
};

class Regex {
 public:
  // Fails with ICU's error name when the pattern does not compile.
  [[nodiscard]] static std::expected<Regex, std::string> compile(std::string_view pattern,
                                                                 RegexOptions options = {});
  // For patterns written in the code: a bad one is a programming error and aborts.
  [[nodiscard]] static Regex literal(std::string_view pattern, RegexOptions options = {});

  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;
  ~Regex();

  // First match at or after byte offset `from`.
  [[nodiscard]] std::optional<RegexMatch> firstMatch(std::string_view subject, std::size_t from = 0) const;
  // Every non-overlapping match, left to right, in one linear pass.
  [[nodiscard]] std::vector<RegexMatch> allMatches(std::string_view subject) const;
  // Matches left to right, each handed to `resumeAt`, which returns the byte offset the search
  // goes on from: a match's end continues as allMatches does, an earlier offset searches again
  // the part of a match the caller did not use. An offset not past the match's start moves one
  // character on, so the scan always ends. The search starts at byte offset `from`.
  void scan(std::string_view subject, const std::function<std::size_t(const RegexMatch&)>& resumeAt,
            std::size_t from = 0) const;
  [[nodiscard]] bool matches(std::string_view subject) const { return firstMatch(subject).has_value(); }
  // Replaces every match by `replacement`, in which $0..$9 refer to groups and \ escapes.
  [[nodiscard]] std::string replaceAll(std::string_view subject, std::string_view replacement) const;

 private:
  struct Impl;
  explicit Regex(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace wrenfold::text
