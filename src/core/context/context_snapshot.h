#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/records/image.h"
#include "core/support/failure.h"
#include "core/support/json.h"

namespace wrenfold {

// Where a snapshot's context came from. Stored and encoded as its raw value, the case name.
enum class ContextSource {
  accessibility,
  selectedText,
  screenshot,
  clipboardFallback,
  manual,
};

inline constexpr std::array kAllContextSources{
    ContextSource::accessibility,     ContextSource::selectedText, ContextSource::screenshot,
    ContextSource::clipboardFallback, ContextSource::manual,
};

[[nodiscard]] std::string_view rawValue(ContextSource source);
// Absent for any string that is not exactly one of the raw values (case-sensitive).
[[nodiscard]] std::optional<ContextSource> contextSourceFromRawValue(std::string_view raw);

// Everything the assistant knows about the place where the user is writing.
struct ContextSnapshot {
  ContextSource source = ContextSource::accessibility;
  std::string appName;
  std::string appBundleID;
  std::optional<std::string> windowTitle;
  std::optional<std::string> focusedText;
  std::string visibleText;  // may be empty
  std::optional<std::string> selectedText;
  std::optional<std::string> nearbyText;
  double confidence = 0;              // 0 to 1: how much the hub trusts this context
  std::vector<std::string> warnings;  // user-visible notes, in order of addition

  bool operator==(const ContextSnapshot&) const = default;

  // The first of selectedText, focusedText, nearbyText, visibleText that is not blank,
  // trimmed; empty when every one is absent or blank.
  [[nodiscard]] std::string bestText() const;

  // One key per field, in field order; absent optionals are left out.
  [[nodiscard]] json::OrderedJson toJson() const;
  // Optional fields may be missing or null; every other key is required with its type, and
  // "source" must be one of the raw values. Unknown keys are ignored.
  [[nodiscard]] static Result<ContextSnapshot> fromJson(const json::Json& object);
  [[nodiscard]] static Result<ContextSnapshot> fromJson(const json::OrderedJson& object);
};

// One read of the context hub. `screenshot` and `screenshotData` come from the same capture and
// are either both present or both absent.
struct ContextReadResult {
  ContextSnapshot snapshot;
  std::optional<Image> screenshot;                          // at most 1200 px on its longest side
  std::optional<std::vector<std::uint8_t>> screenshotData;  // JPEG, at most 2048 px
  std::optional<std::string> screenshotWarning;             // why no screenshot could be taken

  bool operator==(const ContextReadResult&) const = default;
};

}  // namespace wrenfold
