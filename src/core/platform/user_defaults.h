#pragma once

// The user defaults port: a few small settings by key, kept by the desktop outside the data
// folder (on Linux in ~/.config/Wrenfold/Wrenfold.conf). Main thread only.

#include <optional>
#include <string>

#include "core/support/failure.h"

namespace wrenfold {

class UserDefaults {
 public:
  UserDefaults() = default;
  virtual ~UserDefaults() = default;
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // The text under `key`; absent when the key is missing or holds something else.
  [[nodiscard]] virtual std::optional<std::string> string(const std::string& key) const = 0;
  [[nodiscard]] virtual bool contains(const std::string& key) const = 0;
  // Each write reaches the store before it returns. Failure (Chinese description): the store
  // cannot be written; the previous value stays.
  [[nodiscard]] virtual Result<void> setString(const std::string& key, const std::string& value) = 0;
  [[nodiscard]] virtual Result<void> setBool(const std::string& key, bool value) = 0;
  [[nodiscard]] virtual Result<void> remove(const std::string& key) = 0;
};

}  // namespace wrenfold
