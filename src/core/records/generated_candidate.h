#pragma once

#include <optional>
#include <string>

#include "core/support/failure.h"
#include "core/support/json.h"
#include "core/support/uuid.h"

namespace wrenfold {

// One ready-to-insert text returned by the model.
struct GeneratedCandidate {
  Uuid id;
  std::string text;
  std::optional<std::string> title;
  double confidence = 0;

  bool operator==(const GeneratedCandidate&) const = default;

  // Keys "id", "text", "title" (only when present), "confidence", in that order.
  [[nodiscard]] json::OrderedJson toJson() const;
  // "id" (a UUID string), "text" and "confidence" are required; "title" is optional (null
  // counts as absent).
  [[nodiscard]] static Result<GeneratedCandidate> fromJson(const json::Json& object);
  [[nodiscard]] static Result<GeneratedCandidate> fromJson(const json::OrderedJson& object);
};

}  // namespace wrenfold
