#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace wrenfold {

// The kind of result a template aims at. Request building and reply parsing do not branch on
// it; the number of candidates comes from the template's candidateCount.
enum class OutputMode {
  insertableText,  // one text inserted unchanged
  candidates,      // several alternative short texts
  markdown,
  structuredJSON,
};

// Every case in declaration order.
inline constexpr std::array kAllOutputModes{
    OutputMode::insertableText,
    OutputMode::candidates,
    OutputMode::markdown,
    OutputMode::structuredJSON,
};

[[nodiscard]] std::string_view rawValue(OutputMode mode);
// Absent for any string that is not exactly one of the raw values (case-sensitive).
[[nodiscard]] std::optional<OutputMode> outputModeFromRawValue(std::string_view raw);

}  // namespace wrenfold
