#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace wrenfold::timefmt {

using SystemTime = std::chrono::system_clock::time_point;

// ISO 8601 internet date-time in UTC with whole seconds: 2026-12-05T04:48:36Z.
[[nodiscard]] std::string iso8601(SystemTime time);
[[nodiscard]] std::string iso8601Now();
// Accepts the form above (fractional seconds and a numeric offset are accepted too).
[[nodiscard]] std::optional<SystemTime> parseIso8601(std::string_view text);

}  // namespace wrenfold::timefmt
