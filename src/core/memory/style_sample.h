#pragma once

#include <string>

#include "core/support/json.h"
#include "core/support/time.h"
#include "core/support/uuid.h"

namespace wrenfold {

// One text the user inserted, kept as a sample of their tone. Fixed once created.
struct StyleSample {
  Uuid id;
  std::string text;  // as inserted: not trimmed, not cut
  std::string templateID;
  std::string appName;
  timefmt::SystemTime createdAt;

  bool operator==(const StyleSample&) const = default;

  // Keys "id" (upper-case UUID), "text", "templateID", "appName", "createdAt" (ISO 8601 UTC).
  [[nodiscard]] json::Json toJson() const;
  // Every key is required; fails with a decoding failure naming the key.
  [[nodiscard]] static Result<StyleSample> fromJson(const json::Json& object);
};

}  // namespace wrenfold
