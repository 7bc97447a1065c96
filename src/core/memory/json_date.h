#pragma once

#include <string_view>

#include "core/support/json.h"
#include "core/support/time.h"

namespace wrenfold::json {

// A required ISO 8601 date-time string; a missing key, another type or another form fails.
[[nodiscard]] Result<timefmt::SystemTime> requireDate(const Json& object, std::string_view key);

}  // namespace wrenfold::json
