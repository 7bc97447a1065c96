#include "core/target/insertion_check.h"

#include <array>
#include <cstddef>

#include "core/target/ax_helper.h"

namespace wrenfold {
namespace {

// Characters browsers and editors add to a field's accessible text that the user never typed:
// zero-width no-break space (Gecko after some pastes), zero-width space, object replacement.
constexpr std::array<std::string_view, 3> kInvisible{"\xEF\xBB\xBF", "\xE2\x80\x8B", "\xEF\xBF\xBC"};
constexpr std::string_view kNoBreakSpace = "\xC2\xA0";

std::size_t occurrences(std::string_view haystack, std::string_view needle) {
  std::size_t count = 0;
  for (auto at = haystack.find(needle); at != std::string_view::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

}  // namespace

std::string InsertionCheck::comparable(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::string_view rest = text.substr(i);
    bool dropped = false;
    for (const auto invisible : kInvisible) {
      if (rest.starts_with(invisible)) {
        i += invisible.size();
        dropped = true;
        break;
      }
    }
    if (dropped) {
      continue;
    }
    if (rest.starts_with(kNoBreakSpace)) {
      result.push_back(' ');
      i += kNoBreakSpace.size();
    } else if (text[i] == '\r') {
      result.push_back('\n');
      i += rest.starts_with("\r\n") ? std::size_t{2} : std::size_t{1};
    } else {
      result.push_back(text[i]);
      ++i;
    }
  }
  return result;
}

bool InsertionCheck::shownIn(const std::optional<std::string>& before, std::string_view after,
                             std::string_view text) {
  const std::string wanted = comparable(text);
  std::string_view line = wanted;
  while (!line.empty() && line.back() == '\n') {
    line.remove_suffix(1);
  }
  if (const auto cut = line.rfind('\n'); cut != std::string_view::npos) {
    line.remove_prefix(cut + 1);
  }
  if (line.empty()) {
    return false;  // nothing recognisable: left to the accessibility read-back
  }
  const std::size_t earlier = before ? occurrences(comparable(*before), line) : 0;
  return occurrences(comparable(after), line) > earlier;
}

InsertionCheck InsertionCheck::before(Accessibility& accessibility,
                                      const std::optional<AccessibilityElement>& element,
                                      std::string_view text) {
  InsertionCheck check;
  check.text_ = comparable(text);
  if (element) {
    check.element_ = element;
    if (const auto value = AXHelper(accessibility).copyString(*element, AXAttribute::value)) {
      check.before_ = comparable(*value);
    }
  }
  return check;
}

InsertionCheck::Verdict InsertionCheck::check(Accessibility& accessibility) const {
  if (!before_ || !element_) {
    return Verdict::unreadable;
  }
  const auto value = AXHelper(accessibility).copyString(*element_, AXAttribute::value);
  if (!value) {
    return Verdict::unreadable;
  }
  const std::string after = comparable(*value);
  if (text_.empty()) {
    return Verdict::landed;  // nothing to see; nothing can have gone wrong either
  }
  // Counting, not searching: the field may already have held the text before.
  return occurrences(after, text_) > occurrences(*before_, text_) ? Verdict::landed : Verdict::notYet;
}

}  // namespace wrenfold
