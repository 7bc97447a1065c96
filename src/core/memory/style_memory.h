#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/memory/style_sample.h"
#include "core/support/json.h"
#include "core/support/time.h"

namespace wrenfold {

// The local record of how the user likes to write, turned into the {{style_memory}} text.
struct StyleMemory {
  static constexpr std::size_t maxRecentSamples = 20;
  static constexpr std::size_t promptSampleCount = 3;
  static constexpr std::size_t promptSampleLength = 160;  // grapheme clusters

  std::string userWrittenPreference;        // as typed, not trimmed
  std::vector<std::string> summaryBullets;  // only ever read from the file
  std::vector<StyleSample> recentSamples;   // oldest first, at most maxRecentSamples
  timefmt::SystemTime updatedAt;

  bool operator==(const StyleMemory&) const = default;

  // No preference, no bullets, no samples, stamped `now`.
  [[nodiscard]] static StyleMemory empty(timefmt::SystemTime now);

  // Preference, rules and the newest samples as sections separated by a blank line; "无" when
  // there is nothing to say. Every text in it is redacted, each sample before it is shortened,
  // so a cut never leaves the head of a secret that the whole would have hidden.
  [[nodiscard]] std::string promptSummary(std::span<const std::string> knownSecrets = {}) const;

  // Keys "userWrittenPreference", "summaryBullets", "recentSamples", "updatedAt".
  [[nodiscard]] json::Json toJson() const;
  // Every key is required, in the memory and in each sample.
  [[nodiscard]] static Result<StyleMemory> fromJson(const json::Json& object);
  // Parses and decodes the bytes of style-memory.json.
  [[nodiscard]] static Result<StyleMemory> decode(std::string_view bytes);
};

}  // namespace wrenfold
