#pragma once

#include <string>

namespace wrenfold {

// The outcome of the last save or template-file action, shared by the settings tabs: a failure
// shown in one tab shows in the others too.
struct SaveStatus {
  enum class Kind { idle, saved, failed };

  Kind kind = Kind::idle;
  std::string message;  // the failure's description; empty unless failed

  [[nodiscard]] static SaveStatus idle() { return {}; }
  [[nodiscard]] static SaveStatus saved() { return {Kind::saved, {}}; }
  [[nodiscard]] static SaveStatus failed(std::string message) { return {Kind::failed, std::move(message)}; }

  bool operator==(const SaveStatus&) const = default;
};

}  // namespace wrenfold
